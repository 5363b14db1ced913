# Sourced by the benchmarks that run extractor-cli ($cli, from the project
# at $root): runner is what goes in front of it, wine for a .exe (in
# WINEPREFIX, or a fresh prefix made here).
runner=()
if [[ $cli == *.exe ]]; then
  if [[ -z ${WINEPREFIX:-} ]]; then
    cd "$root" && source scripts/wine-prefix.sh && cd - >/dev/null
  fi
  export WINEDEBUG=-all
  runner=(wine)
fi
