#!/bin/sh
# Renders a click track or a drum loop with sox as raw 16-bit stereo at
# 44100 Hz, for the tempo tests. Prints the beat period in samples.
#   render_beats.sh BPM click|drums SECONDS OUT.raw
# The period is a whole number of samples (60 * 44100 / BPM rounded), so the
# true beat positions are exact multiples of it, starting at sample 0.
set -eu
bpm=$1 kind=$2 seconds=$3 out=$4
rate=44100
period=$(( (60 * rate * 1000 / bpm + 500) / 1000 ))
half=$(( period / 2 ))
beats=$(( seconds * bpm / 60 + 1 ))
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
f="-r $rate -c 2 -b 16 -e signed-integer -t raw"
if [ "$kind" = click ]; then
  # A 10 ms square-wave click at the start of every beat.
  sox -V1 $f -n $f "$dir/beat.raw" synth 441s square 2000 vol 0.7 pad 0 $((period - 441))s
  sox -V1 $f "$dir/beat.raw" $f "$out" repeat $((beats - 1))
else
  # Kick on beat 1, snare on beat 2, closed hi-hats on every eighth.
  sox -V1 $f -n $f "$dir/kick.raw" synth 0.15 sine 120-45 fade q 0.002 0.15 0.12 vol 0.9
  sox -V1 $f -n $f "$dir/snare.raw" synth 0.12 whitenoise fade q 0.001 0.12 0.11 band 1800 1200 vol 0.8
  sox -V1 $f -n $f "$dir/hat.raw" synth 0.04 whitenoise fade q 0.001 0.04 0.035 highpass 7000 vol 0.25
  sox -V1 $f "$dir/hat.raw" $f "$dir/offhat.raw" pad ${half}s
  for part in kick snare; do
    sox -V1 -m $f "$dir/$part.raw" $f "$dir/hat.raw" $f "$dir/offhat.raw" $f "$dir/$part-mix.raw"
    sox -V1 $f "$dir/$part-mix.raw" $f "$dir/$part-beat.raw" pad 0 ${period}s trim 0 ${period}s
  done
  sox -V1 $f "$dir/kick-beat.raw" $f "$dir/snare-beat.raw" $f "$dir/bar.raw"
  sox -V1 $f "$dir/bar.raw" $f "$out" repeat $((beats / 2))
fi
echo "$period"
