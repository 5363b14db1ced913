# Sourced by the extraction benchmarks; needs $work and $MiB.
# The big file: text from /usr/share, programs from /usr/bin and random
# bytes, in 1 MiB slices taken in turn so that no part is one long run.
make_big_file() {
  local out=$1
  : "${work:?the scratch folder}" "${MiB:?}"
  find /usr/share -type f \( -name '*.txt' -o -name '*.html' -o -name '*.xml' -o -name '*.py' \
    -o -name '*.pl' -o -name '*.h' -o -name '*.css' -o -name '*.js' -o -name '*.json' \) \
    -size +4k -print0 2>/dev/null | sort -z | xargs -0 cat 2>/dev/null |
    head -c $((90 * MiB)) >"$work/text" || true
  find /usr/bin -type f -size +200k -print0 | sort -z | xargs -0 cat 2>/dev/null |
    head -c $((80 * MiB)) >"$work/bin" || true
  head -c $((30 * MiB)) /dev/urandom >"$work/random"
  python3 - "$work/text" "$work/bin" "$work/random" "$out" <<'PY'
import sys
*inputs, out = sys.argv[1:]
sources = [open(p, "rb") for p in inputs]
with open(out, "wb") as o:
    while sources:
        for s in list(sources):
            chunk = s.read(1 << 20)
            if chunk:
                o.write(chunk)
            else:
                sources.remove(s)
PY
  rm -f "$work/text" "$work/bin" "$work/random"
}
