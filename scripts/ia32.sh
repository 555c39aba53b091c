# Sourced by the scripts that run Wine. True when this kernel cannot execute
# 32-bit programs (no IA-32 emulation): the 32-bit loader then fails with
# "Exec format error" (126), and so would Wine.
no_ia32() {
  local status=0
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || status=$?
  [ "$status" = 126 ]
}

# Where Wine runs, "native" or "vm" (scripts/wine-vm.sh): TY_WINE when set,
# else natively where the kernel executes 32-bit programs and in the virtual
# machine where it cannot. Fails, saying why, for TY_WINE=native on a kernel
# that cannot, and for any other value.
wine_path() {
  local wine=${TY_WINE:-}
  [ -n "$wine" ] || { if no_ia32; then wine=vm; else wine=native; fi; }
  case "$wine" in
    vm) ;;
    native)
      if no_ia32; then
        echo "TY_WINE=native, but this machine cannot execute 32-bit programs (no IA-32" \
             "emulation in its kernel), so Wine cannot start here: use TY_WINE=vm" >&2
        return 1
      fi ;;
    *) echo "TY_WINE is native or vm, not '$wine'" >&2; return 1 ;;
  esac
  echo "$wine"
}
