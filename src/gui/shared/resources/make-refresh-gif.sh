#!/usr/bin/env bash
# Draws refresh.gif, the 176 x 50 picture on the refresh button: two arrows
# in a circle, "最新表示" and "フォルダーを読み直す". Needs ImageMagick, python3
# and the Noto Sans CJK JP faces (fonts-noto-cjk). Drawn four times as large,
# then scaled down; the background is transparent and the anti-aliased edges
# are blended onto a face as light as a button's, so the picture has no box
# of its own on the button.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
scale=4
blue='#1e74d6'

arrows=$(python3 - "$scale" "$blue" <<'PY'
import math, sys
s, blue = int(sys.argv[1]), sys.argv[2]
cx, cy, r, w = 25 * s, 25 * s, 13 * s, 5 * s

def point(radius, degrees):
    a = math.radians(degrees)
    return cx + radius * math.cos(a), cy + radius * math.sin(a)

def arc(a0, a1):
    # The band between two circles: an arc as wide as the stroke.
    angles = [a0 + (a1 - a0) * i / 40 for i in range(41)]
    pts = [point(r + w / 2, a) for a in angles] + [point(r - w / 2, a) for a in reversed(angles)]
    return "polygon " + " ".join("%.1f,%.1f" % p for p in pts)

def head(degrees):
    # A triangle at the arc's end, pointing on clockwise.
    a = math.radians(degrees)
    px, py = point(r, degrees)
    tx, ty = -math.sin(a), math.cos(a)
    nx, ny = math.cos(a), math.sin(a)
    length, half, back = 6 * s, 5.5 * s, 0.3 * s
    bx, by = px - tx * back, py - ty * back
    pts = [(px + tx * length, py + ty * length), (bx + nx * half, by + ny * half), (bx - nx * half, by - ny * half)]
    return "polygon " + " ".join("%.1f,%.1f" % p for p in pts)

print("stroke none fill '%s'" % blue)
print("\n".join([arc(200, 335), arc(20, 155), head(335), head(155)]))
PY
)

px() { echo $(($1 * scale)); }   # ImageMagick's points are pixels at its 72 dpi
convert -size $((176 * scale))x$((50 * scale)) xc:none -draw "$arrows" \
  -font Noto-Sans-CJK-JP-Bold -pointsize "$(px 22)" -fill '#1a1a1a' -annotate +$((55 * scale))+$((28 * scale)) '最新表示' \
  -font Noto-Sans-CJK-JP -pointsize "$(px 10)" -fill '#333333' -annotate +$((56 * scale))+$((43 * scale)) 'フォルダーを読み直す' \
  -resize 25% "$tmp/drawn.png"
convert "$tmp/drawn.png" -background '#f3f3f3' -alpha remove "$tmp/face.png"
convert "$tmp/drawn.png" -alpha extract -threshold 8% "$tmp/mask.png"
convert "$tmp/face.png" "$tmp/mask.png" -alpha off -compose CopyOpacity -composite refresh.gif
