#!/usr/bin/env bash
# Makes the seed corpus of the chime files' fuzz target: tiny sounds in every encoding a chime file may come in,
# and broken ones (the first bytes of each header, files cut short, headers that break a limit). Made with sox;
# rerun it only to add seeds, since the Ogg files differ at every run.
#   tests/platform/fuzz/make_corpus.sh
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)/corpus
mkdir -p "$out"
tone="synth 0.02 sine 440 sine 1320" # 20 ms: a few hundred bytes in most encodings

s() { sox -q -n -r "$1" -c "$2" "${@:4}" "$out/$3" $tone; }
s 8000 1 wav_u8.wav -b 8 -e unsigned-integer
s 8000 1 wav_s16.wav -b 16 -e signed-integer
s 8000 2 wav_s24_stereo.wav -b 24 -e signed-integer
s 8000 1 wav_s32.wav -b 32 -e signed-integer
s 8000 1 wav_float.wav -b 32 -e floating-point
s 8000 1 wav_double.wav -b 64 -e floating-point
s 8000 1 wav_ulaw.wav -e u-law
s 8000 1 wav_alaw.wav -e a-law
s 8000 1 wav_ima_adpcm.wav -e ima-adpcm
s 8000 1 wav_ms_adpcm.wav -e ms-adpcm
s 8000 1 wav_gsm.wav -e gsm-full-rate
s 8000 6 wavex_6ch.wav -b 16 -e signed-integer
s 8000 1 rifx_s16.wav -b 16 -e signed-integer -B
s 8000 2 aiff_s16.aiff -b 16 -e signed-integer
s 8000 1 aifc_s8.aifc -b 8 -e signed-integer
s 8000 1 au_s16.au -b 16 -e signed-integer
s 8000 1 caf_s16.caf -b 16 -e signed-integer
s 8000 1 w64_s16.w64 -b 16 -e signed-integer
s 8000 1 flac_s16.flac -b 16
s 8000 2 flac_s24_stereo.flac -b 24
s 8000 1 vorbis.ogg -C -1

# The first bytes of each header: the decoder must refuse them without reading past the end.
cut() { head -c "$2" "$out/$1" >"$out/$3"; }
cut wav_s16.wav 12 cut_wav_riff.wav
cut wav_s16.wav 36 cut_wav_fmt.wav
cut wav_s16.wav 44 cut_wav_no_frames.wav
cut wav_s16.wav 101 cut_wav_mid_frame.wav
cut wav_ima_adpcm.wav 100 cut_wav_ima_block.wav
cut aiff_s16.aiff 30 cut_aiff_comm.aiff
cut aiff_s16.aiff 80 cut_aiff_ssnd.aiff
cut flac_s16.flac 42 cut_flac_streaminfo.flac
cut flac_s16.flac 120 cut_flac_frame.flac
cut vorbis.ogg 58 cut_ogg_first_page.ogg
cut vorbis.ogg 1500 cut_ogg_codebooks.ogg
cut au_s16.au 24 cut_au_header.au

# Headers that break a limit: too many channels, too low a rate, a length of hours on a small file.
s 8000 9 wav_9ch.wav -b 16 -e signed-integer
s 500 1 wav_500hz.wav -b 16 -e signed-integer
python3 - "$out" <<'PY'
import struct, sys
out = sys.argv[1]
wav = bytearray(open(f"{out}/wav_s16.wav", "rb").read())
at = wav.index(b"data")
hours = bytearray(wav)
struct.pack_into("<I", hours, at + 4, 0xF0000000)
struct.pack_into("<I", hours, 4, 0xF0000000 + at - 4)
open(f"{out}/wav_claims_hours.wav", "wb").write(hours)
odd = bytearray(wav)
struct.pack_into("<I", odd, at + 4, 0xFFFFFFFF)
open(f"{out}/wav_data_size_unknown.wav", "wb").write(odd)
PY
printf 'RIFF? no, a shopping list.\n' >"$out/text_named.wav"
: >"$out/empty.wav"
