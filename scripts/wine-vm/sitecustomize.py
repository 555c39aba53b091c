# Inside the emulated machine everything runs several times slower: the
# harness's and the tests' deadlines are stretched by letting their clock run
# slower. Waits that are measured (the upgrade's 11-second retries) read short.
import os
import time

_real = time.monotonic
_scale = float(os.environ.get('TY_E2E_SLOWDOWN', '8'))
time.monotonic = lambda: _real() / _scale
