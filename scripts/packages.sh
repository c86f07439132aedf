# Sourced by scripts/setup.sh and scripts/fuzz: installs the Debian packages
# named in "$@" that are missing (as root), or says how to (as anyone else).
install_missing_packages() {
  local missing=() p
  local -A installed=()
  # One query for them all: one a package took a second.
  while read -r p; do installed[$p]=1; done < <(dpkg-query -W -f='${Package} ${Status}\n' "$@" 2>/dev/null |
    sed -n 's/ install ok installed$//p')
  for p in "$@"; do
    [ -n "${installed[$p]:-}" ] || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >&2
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
  else
    echo "Missing packages. Run this once, then try again:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
}
