#!/bin/sh
# Makes the guidance sounds in assets/wave/ from espeak-ng (Japanese voice) and sox.
#
#   scripts/make-sounds.sh [output folder]      (default: assets/wave beside this script)
#
# Every file is 16-bit PCM mono at 22050 Hz, trimmed of leading and trailing
# silence, given 5 ms fades against clicks and brought to the same loudness
# (RMS level TARGET_RMS_DB, with a limiter as a guard against clipping). The
# output depends only on the espeak-ng and sox versions, so running the script
# again gives the same files.
set -eu

OUT=${1:-$(cd "$(dirname "$0")/.." && pwd)/assets/wave}
RATE=22050
TARGET_RMS_DB=-20
VOICE=ja+f2 # espeak-ng's Japanese voice, female variant
SPEED=230   # words per minute; keeps every word well under a second

command -v espeak-ng >/dev/null || { echo "espeak-ng is needed" >&2; exit 1; }
command -v sox >/dev/null || { echo "sox is needed" >&2; exit 1; }

mkdir -p "$OUT"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# sox -R: repeatable mode (fixed random seed, no varying header data).
SOX="sox -R -V1"

# finish RAW NAME: trims, fades and levels RAW into OUT/NAME.
finish() {
    $SOX "$1" -r $RATE -c 1 -b 16 "$WORK/trim.wav" \
        silence 1 0.005 0.5% reverse silence 1 0.005 0.5% fade t 0.005 reverse fade t 0.005
    rms=$($SOX "$WORK/trim.wav" -n stats 2>&1 | awk '/^RMS lev dB/ {print $4}')
    gain=$(awk -v t=$TARGET_RMS_DB -v r="$rms" 'BEGIN {printf "%.2f", t - r}')
    # The limiter guards raised levels only (and "gain -l" would take a negative
    # figure for options).
    case $gain in
    -*) $SOX "$WORK/trim.wav" -e signed-integer -b 16 "$OUT/$2" gain "$gain" ;;
    *) $SOX "$WORK/trim.wav" -e signed-integer -b 16 "$OUT/$2" gain -l "$gain" ;;
    esac
}

# say NAME TEXT: speaks TEXT (hiragana / katakana) into NAME.
say() {
    espeak-ng -v $VOICE -s $SPEED -w "$WORK/raw.wav" "$2"
    finish "$WORK/raw.wav" "$1"
}

# Values as an assistant calls out pocket depths (one-mora numbers drawn out).
say 0.wav "ゼロ"
say 1.wav "いち"
say 2.wav "にー"
say 3.wav "さん"
say 4.wav "よん"
say 5.wav "ごー"
say 6.wav "ろく"
say 7.wav "なな"
say 8.wav "はち"
say 9.wav "きゅう"
say 10.wav "じゅう"
say 11.wav "じゅういち"
say 12.wav "じゅうに"
say 13.wav "じゅうさん"
say 14.wav "じゅうよん"
say 15.wav "じゅうご"
say 16.wav "じゅうろく"
say subeteari.wav "すべてあり"
say subetenashi.wav "すべてなし"
say 無.wav "なし"

# click1: a short, soft tick (a high blip with a fast decay).
$SOX -n -r $RATE -c 1 -b 16 "$WORK/click.wav" \
    synth 0.045 sine 1760 synth 0.045 sine mix 3520 fade q 0.001 0.045 0.04
finish "$WORK/click.wav" click1.wav

# phone1: the "not accepted" buzz: two low, slightly discordant beeps.
$SOX -n -r $RATE -c 1 -b 16 "$WORK/beep.wav" \
    synth 0.11 square 220 synth 0.11 square mix 233 lowpass 1800 fade t 0.008 0.11 0.02
$SOX -n -r $RATE -c 1 -b 16 "$WORK/gap.wav" trim 0 0.06
$SOX "$WORK/beep.wav" "$WORK/gap.wav" "$WORK/beep.wav" "$WORK/buzz.wav"
finish "$WORK/buzz.wav" phone1.wav

# warp: a rising whoosh (a sweep over filtered noise).
$SOX -n -r $RATE -c 1 -b 16 "$WORK/sweep.wav" synth 0.4 sine 250:2200
$SOX -n -r $RATE -c 1 -b 16 "$WORK/air.wav" synth 0.4 pinknoise lowpass 3000 vol 0.5
$SOX -m "$WORK/sweep.wav" "$WORK/air.wav" "$WORK/whoosh.wav" fade h 0.12 0.4 0.22
finish "$WORK/whoosh.wav" warp.wav

echo "Sounds written to $OUT"
