# Shared by scripts/test and scripts/demo: installs what is missing.

# as_root CMD...: runs CMD as root (through sudo when not root).
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# ensure_packages PKG...: apt-get installs those not yet installed. A
# package of the i386 architecture (PKG:i386) first adds the architecture.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if [[ " ${missing[*]}" == *":i386"* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
      as_root dpkg --add-architecture i386
    fi
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
  fi
}

# runs_32bit_code: true when this machine's kernel runs 32-bit x86 programs.
runs_32bit_code() { "$(dirname "${BASH_SOURCE[0]}")/runs-32bit-code"; }

# The win32 thread-model compilers: the posix ones link winpthreads, which
# imports functions that Windows XP lacks.
BUILD_PACKAGES=(cmake g++ libgtest-dev mingw-w64 g++-mingw-w64-x86-64-win32
  g++-mingw-w64-i686-win32 wine64)
# The 32-bit programs' tests run with wine's 32-bit half, where 32-bit code runs.
WINE32_PACKAGES=(wine32:i386)
