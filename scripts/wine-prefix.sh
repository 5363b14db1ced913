# Sourced by the scripts that run Windows programs: makes one fresh Wine
# prefix for this run, with drive V: mapped to a folder whose volume label
# the tests change, and removes it on exit.
wine_root=$(mktemp -d /tmp/extractor-wine.XXXXXX)
export WINEPREFIX="$wine_root/prefix"
export WINEDEBUG=-all
export EXTRACTOR_TEST_DRIVE=V:
echo "Creating a Wine prefix in $WINEPREFIX"
wineboot -i >/dev/null 2>&1
mkdir -p "$wine_root/drive-v"
ln -sfn "$wine_root/drive-v" "$WINEPREFIX/dosdevices/v:"
cleanup_wine() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$wine_root"
}
trap cleanup_wine EXIT
