#!/bin/sh
# Renders pages of an export in headless Chromium: a conversation page and the contacts page
# must show their records as readable text (the screenshots are kept for a look by eye).
#
#   check_pages_in_chromium.sh EXPORT_PROGRAM WORK_DIR
#
# EXPORT_PROGRAM writes an export into the folder given as its argument (export-sample-pages).
# Exits 77 (skipped) when /usr/bin/chromium is not installed.
set -eu

program=$1
work=$2
chromium=${CHROMIUM:-/usr/bin/chromium}
if [ ! -x "$chromium" ]; then
  echo "SKIPPED: $chromium is not installed"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work"
"$program" "$work/export" >/dev/null

conversation=$(find "$work/export/Message" -name '*.html' | head -n 1)
contacts=$(find "$work/export/Contacts" -name 'Contacts.html' | head -n 1)
whatsapp=$(find "$work/export/WhatsApp Message" -name '*.html' | head -n 1)
[ -n "$conversation" ] && [ -n "$contacts" ] && [ -n "$whatsapp" ] || {
  echo "FAIL: the export holds no conversation, chat or contacts page"
  exit 1
}

render() {  # page, screenshot
  # A profile of its own keeps the run from touching the user's browser settings.
  "$chromium" --headless --no-sandbox --disable-gpu --hide-scrollbars \
    --user-data-dir="$work/profile" --window-size=1000,900 \
    --screenshot="$2" "file://$1" >/dev/null 2>&1
  "$chromium" --headless --no-sandbox --disable-gpu --user-data-dir="$work/profile" \
    --dump-dom "file://$1" 2>/dev/null
}

fail=0
expect_text() {  # dom file, text
  if ! grep -qF -- "$2" "$1"; then
    echo "FAIL: $(basename "$1" .dom) does not show \"$2\""
    fail=1
  fi
}

render "$conversation" "$work/conversation.png" >"$work/conversation.dom"
render "$contacts" "$work/contacts.png" >"$work/contacts.dom"
render "$whatsapp" "$work/whatsapp.png" >"$work/whatsapp.dom"

expect_text "$work/conversation.dom" "Good morning! Are we still on for lunch today?"
expect_text "$work/conversation.dom" 'class="del_recv_msg"'
# Markup inside a message is text on the page, never an element.
expect_text "$work/conversation.dom" "&lt;b&gt;markup&lt;/b&gt;"
expect_text "$work/contacts.dom" "<th>Name</th>"
expect_text "$work/contacts.dom" "Ann Schmidt"
expect_text "$work/contacts.dom" "Café &lt;Paris&gt; &amp; Co"
expect_text "$work/whatsapp.dom" "Sounds good, I'll bring dessert."

# A readable page has text on a plain background: a share of the pixels differs from the
# background colour, far from none and far from all, in more than a handful of colours.
for shot in conversation contacts whatsapp; do
  png="$work/$shot.png"
  if [ ! -s "$png" ]; then
    echo "FAIL: no screenshot of the $shot page"
    fail=1
    continue
  fi
  if command -v python3 >/dev/null 2>&1; then
    python3 - "$png" <<'PY' || fail=1
import struct, sys, zlib
path = sys.argv[1]
data = open(path, "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
pos, idat, width, height, colour, depth = 8, b"", 0, 0, 0, 0
while pos < len(data):
    size, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + size]
    if kind == b"IHDR":
        width, height, depth, colour = struct.unpack(">IIBB", body[:10])
    elif kind == b"IDAT":
        idat += body
    pos += 12 + size
channels = {2: 3, 6: 4}[colour]
assert depth == 8, "unexpected bit depth"
raw = zlib.decompress(idat)
stride = width * channels
rows, prev = [], bytearray(stride)
for y in range(height):
    f = raw[y * (stride + 1)]
    line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        a = line[i - channels] if i >= channels else 0
        b = prev[i]
        c = prev[i - channels] if i >= channels else 0
        if f == 1: line[i] = (line[i] + a) & 255
        elif f == 2: line[i] = (line[i] + b) & 255
        elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    rows.append(bytes(line))
    prev = line
counts = {}
for line in rows:
    for x in range(0, stride, channels):
        px = line[x:x + 3]
        counts[px] = counts.get(px, 0) + 1
total = width * height
background = max(counts.values())
ink = 1 - background / total
dark = sum(n for px, n in counts.items() if sum(px) < 200)
print("%s: %dx%d, %d colours, %.1f%% not background, %.2f%% dark text pixels"
      % (path, width, height, len(counts), ink * 100, dark * 100 / total))
if not (0.02 < ink < 0.98 and len(counts) > 20 and dark > total * 0.002):
    print("FAIL: %s does not look like a readable page" % path)
    sys.exit(1)
PY
  fi
done

if [ "$fail" -ne 0 ]; then
  exit 1
fi
echo "OK: screenshots in $work"
