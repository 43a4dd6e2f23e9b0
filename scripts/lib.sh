# Sourced by the scripts: installs what is missing, and finds the tools.

# need_packages PKG...: installs, from Debian's packages, those not installed yet.
need_packages() {
  local missing=() p sudo=""
  for p in "$@"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "$(basename "$0"): installing ${missing[*]}" >&2
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  # On a fresh machine another package manager may hold the lock for a
  # while (unattended upgrades): apt waits for it rather than failing at once.
  local wait=(-o DPkg::Lock::Timeout=600)
  if ! $sudo apt-get "${wait[@]}" update -qq; then
    echo "$(basename "$0"): apt-get update failed (network, or the lock held over 10 min)" >&2
    return 1
  fi
  if ! DEBIAN_FRONTEND=noninteractive $sudo apt-get "${wait[@]}" install -y -qq "${missing[@]}" \
    >/dev/null; then
    echo "$(basename "$0"): installing ${missing[*]} failed" >&2
    return 1
  fi
}

# clang, and the sanitizer and fuzzer runtime that goes with its version.
need_clang() {
  need_packages clang || return 1
  local version
  version=$(clang --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
  need_packages "libclang-rt-$version-dev"
}

# The folder of wine64 and wineserver (Debian keeps them out of PATH).
wine_dir() {
  dirname "$(dpkg -L wine64 2>/dev/null | grep -m 1 '/wine64$')"
}

# Warnings are errors in CI.
werror() {
  if [ -n "${CI:-}" ]; then echo ON; else echo OFF; fi
}
