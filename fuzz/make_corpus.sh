#!/usr/bin/env bash
# Writes a starting corpus for every fuzz target into OUT/<target>/: small
# real recordings made with ffmpeg, sox and oggenc in every layout the
# readers know, plus hand-built cue lists, HID descriptors and transcripts.
# Everything is made afresh and is the same on every run.
set -euo pipefail
out=${1:?usage: make_corpus.sh OUT}
rm -rf "$out"
for t in wavreader wavscanner cuereader oggscanner hiddescriptor transcriptcsv waveformcolumns recoveryjournal; do
    mkdir -p "$out/fuzz_$t"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ff() { ffmpeg -hide_banner -loglevel error -y -bitexact "$@"; }
tone() { echo "-f lavfi -i sine=frequency=440:sample_rate=8000:duration=0.05"; }

# WAV in every sample layout, compressed codecs, and Broadcast Wave / INFO tags.
wav() { # name, then ffmpeg output options
    local name=$1; shift
    # shellcheck disable=SC2046
    ff $(tone) "$@" "$out/fuzz_wavreader/$name.wav"
}
wav u8 -c:a pcm_u8
wav s16-mono -c:a pcm_s16le
wav s16-stereo -ac 2 -c:a pcm_s16le
wav s24 -c:a pcm_s24le
wav s32 -c:a pcm_s32le
wav f32 -c:a pcm_f32le
wav f64 -c:a pcm_f64le
wav s24-extensible -ac 3 -c:a pcm_s24le
wav alaw -c:a pcm_alaw
wav mulaw -c:a pcm_mulaw
wav ima-adpcm -c:a adpcm_ima_wav
wav ms-adpcm -c:a adpcm_ms
wav gsm -c:a libgsm_ms
wav bwf -c:a pcm_s16le -write_bext 1 -metadata originator="Interview room 2" \
    -metadata origination_date=2026-01-02 -metadata origination_time=10:11:12 \
    -metadata time_reference=441000 -metadata coding_history="A=PCM,F=8000,W=16,M=mono"
wav info -c:a pcm_s16le -metadata title="Statement of witness" -metadata IENG="Desk 4" \
    -metadata comment="Case 2026/118"

# The canonical 44-byte header with three frames of 16-bit stereo, then a
# cue list with two points and their labels after the samples.
le16() { printf "$(printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }
{
    printf 'fmt '; le32 16; le16 1; le16 2; le32 8000; le32 32000; le16 4; le16 16
    printf 'data'; le32 12; printf '\x01\x00\x02\x00\x03\x00\x04\x00\x05\x00\x06\x00'
    printf 'cue '; le32 52; le32 2
    for id in 1 2; do le32 "$id"; le32 $((id - 1)); printf 'data'; le32 0; le32 0; le32 $((id - 1)); done
    printf 'LIST'; le32 40; printf 'adtl'
    printf 'labl'; le32 10; le32 1; printf 'Start\0'
    printf 'labl'; le32 10; le32 2; printf 'End\0\0\0'
} >"$work/body"
{ printf 'RIFF'; le32 $(($(stat -c %s "$work/body") + 4)); printf 'WAVE'; cat "$work/body"; } \
    >"$out/fuzz_wavreader/cue.wav"

cp "$out"/fuzz_wavreader/*.wav "$out/fuzz_wavscanner/"
cp "$out"/fuzz_wavreader/{cue,bwf,info,s16-stereo}.wav "$out/fuzz_cuereader/"

# Ogg: Vorbis with start dates, a comment header spread over several pages,
# and Opus.
sox -n -r 8000 -c 1 -b 16 "$work/tone.wav" synth 0.05 sine 440
oggenc -Q -c "DATE=2026-01-02T10:11:12" -c "TITLE=Statement" -o "$out/fuzz_oggscanner/vorbis.ogg" "$work/tone.wav"
oggenc -Q -c "DATE=2026-03-29 02:30:00" -o "$out/fuzz_oggscanner/vorbis-dst-gap.ogg" "$work/tone.wav"
oggenc -Q -c "COMMENT=$(head -c 70000 /dev/zero | tr '\0' 'x')" -c "DATE=2026-01-02T23:59:59" \
    -o "$out/fuzz_oggscanner/long-comment.ogg" "$work/tone.wav"
ff -i "$work/tone.wav" -ar 48000 -c:a libopus -metadata DATE=2026-01-02T10:11:12 "$out/fuzz_oggscanner/opus.ogg"

# HID report descriptors: a three-pedal joystick, a keyboard, and a pedal
# behind a keyboard collection.
pedal='05010904a10105091901290315002501750195038102750595018103c0'
keyboard='05010906a101050719e029e715002501750195088102c0'
hex() { echo -n "$1" | sed 's/../\\x&/g' | xargs -0 printf; }
hex "$pedal" >"$out/fuzz_hiddescriptor/pedal"
hex "$keyboard" >"$out/fuzz_hiddescriptor/keyboard"
hex "$keyboard$pedal" >"$out/fuzz_hiddescriptor/keyboard-then-pedal"

# Transcripts as the program writes them, and as spreadsheets leave them.
csv="$out/fuzz_transcriptcsv"
printf 'Start_Time,End_Time,Label,Note,Channel\r\n00:00:01.250,00:00:04.000,Q,"She said ""no"", twice",L\r\n00:01:00.000,,A,"two\r\nlines",\r\n' >"$csv/export.csv"
printf '\xef\xbb\xbfStart_Time,End_Time,Label,Note,Channel\n1:02:03.004,1:02:05,,plain,R\n' >"$csv/bom-lf.csv"
printf 'Start_Time;End_Time;Label\n00:00:01.000;00:00:02.000;x\n' >"$csv/semicolons.csv"

# A recovery journal as the program writes it: every kind of edit, awkward text.
cat >"$out/fuzz_recoveryjournal/journal.json" <<'EOF'
{
    "caseDetails": {"location": "Room\n2", "oic": "DC \u00d8rsted", "operation": "Op \"Kite\"",
                    "reference": "  REF 7  ", "transcriber": "", "translator": "\t"},
    "edits": [
        {"op": "silence", "startMs": 7000, "endMs": 7001, "channel": -1},
        {"op": "tone", "startMs": 1000, "endMs": 2500, "channel": 0, "frequencyHz": 1000},
        {"op": "normalize", "startMs": 0, "endMs": 90000, "channel": -1, "targetDbfs": -1.5},
        {"op": "trimPeaks", "startMs": 5, "endMs": 6, "channel": 1, "ratio": 0.707},
        {"op": "undo"},
        {"op": "redo"}
    ],
    "format": "orlenta-le recovery journal",
    "recording": {"modified": "2023-11-14T22:13:20.123Z", "path": "/srv/Interviews/a.wav", "size": 123456789012},
    "rows": [
        {"channel": 1, "endMs": 1200, "label": "Witness", "note": "She said \"no\",\r\nthen left", "startMs": -5},
        {"channel": -1, "endMs": -9223372036854775808, "label": "", "note": "", "startMs": 9223372036854775807}
    ],
    "timeSource": {"index": 1, "text": "Real Time"},
    "version": 1,
    "written": "2023-11-14T22:15:00.456Z"
}
EOF

# Waveform arithmetic: view numbers first, then peak values.
ff $(tone) -f f64le "$work/peaks.raw"
head -c 4096 "$work/peaks.raw" >"$out/fuzz_waveformcolumns/sine"
head -c 64 /dev/zero >"$out/fuzz_waveformcolumns/zeros"
