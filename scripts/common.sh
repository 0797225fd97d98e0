# Shared by run.sh and test.sh: install what is missing on Debian.
DENDRIX_PACKAGES="libxerces-c-dev zlib1g-dev cmake g++ libgtest-dev libgmock-dev libbenchmark-dev pkgconf
  pybind11-dev python3-dev python3-numpy python3-pandas python3-pytest python3-dask python3-distributed"

dendrix_install_packages() {
  local missing=()
  for p in $DENDRIX_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}" >/dev/null
  else
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
}
