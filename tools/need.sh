# Sourced by the project's scripts: `need COMMAND PACKAGE` notes a command
# that is missing, `need_path PATH PACKAGE` a file; `need_done` then names
# everything missing, with the command that installs it, and stops.
_missing_pkgs=()
_missing_what=()
need() {
  command -v "$1" >/dev/null 2>&1 || { _missing_what+=("$1"); _missing_pkgs+=("$2"); }
}
need_path() {
  [ -e "$1" ] || { _missing_what+=("$1"); _missing_pkgs+=("$2"); }
}
# What every build needs.
need_build_tools() {
  need cmake cmake
  need ninja ninja-build
  need c++ g++
}
need_done() {
  if [ ${#_missing_pkgs[@]} -gt 0 ]; then
    echo "Missing: ${_missing_what[*]}" >&2
    echo "Install with: apt-get install -y ${_missing_pkgs[*]}" >&2
    exit 1
  fi
}
