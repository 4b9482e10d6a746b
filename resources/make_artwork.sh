#!/usr/bin/env bash
# Draws the program's artwork with ImageMagick: the splash circle, the header
# logo (also stored under a .jpg name with the same PNG bytes, the fallback
# the window looks for) and the 32x32 window icon. Re-run after changing it
# and commit the pictures with it.
set -euo pipefail
cd "$(dirname "$0")"
font=DejaVu-Sans-Bold
strip=(-strip -define png:exclude-chunks=date,time)

# Splash: a dark disc with a green ring and a stylised waveform.
convert -size 500x500 xc:none \
    -fill '#141414' -stroke '#00C850' -strokewidth 14 -draw 'circle 250,250 250,14' \
    -stroke '#00FF66' -strokewidth 6 -fill none \
    -draw 'polyline 90,250 130,250 150,190 170,320 190,150 210,350 230,210 250,290 270,120 290,380 310,200 330,300 350,230 370,250 410,250' \
    -stroke none -fill white -font "$font" -pointsize 46 -gravity center -annotate +0+150 'Orlenta LE' \
    "${strip[@]}" PNG32:Logocircle.png

# Header logo: wordmark on a transparent field beside the same waveform mark.
convert -size 1280x720 xc:none \
    -stroke '#00FF66' -strokewidth 18 -fill none \
    -draw 'polyline 60,360 140,360 180,220 220,520 260,160 300,560 340,260 380,460 420,360 480,360' \
    -stroke none -fill white -font "$font" -pointsize 170 -gravity west -annotate +520-40 'Orlenta' \
    -fill '#00FF66' -pointsize 120 -annotate +530+120 'LE' \
    -fill '#BBBBBB' -font DejaVu-Sans -pointsize 54 -annotate +720+130 'transcription player' \
    "${strip[@]}" PNG32:Logo_le.png
cp Logo_le.png Logo_le.jpg

# Window icon: one 32x32 image.
convert -size 32x32 xc:none \
    -fill '#141414' -stroke '#00C850' -strokewidth 2 -draw 'circle 16,16 16,2' \
    -stroke '#00FF66' -strokewidth 2 -fill none -draw 'polyline 6,16 10,16 12,9 15,23 18,7 21,25 23,16 26,16' \
    "${strip[@]}" app_icon.ico
