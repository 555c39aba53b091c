# Sourced by the scripts that run Wine. True when this kernel cannot execute
# 32-bit programs (no IA-32 emulation): the 32-bit loader then fails with
# "Exec format error" (126), and so would Wine.
no_ia32() {
  local status=0
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || status=$?
  [ "$status" = 126 ]
}
