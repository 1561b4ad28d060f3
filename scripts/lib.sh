# Shared by scripts/test and scripts/demo: installs what is missing.

# ensure_packages PKG...: apt-get installs those not yet installed.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
  fi
}

BUILD_PACKAGES=(cmake g++ libgtest-dev mingw-w64 g++-mingw-w64-x86-64-posix wine64)
