#!/usr/bin/env bash
# Renders the demo situation videos: a count-down clip and four road scenes
# per chapter, each with a hazard entering the driving lane at the start of
# its danger window, plus manifest.csv listing every clip's danger window.
# Everything is derived from the chapter and situation numbers, so running
# it again gives the same clips and the same manifest.
#
# Usage: demo/render-clips.sh OUTPUT_FOLDER
set -euo pipefail

if [ $# -ne 1 ] || [ -z "$1" ]; then
    echo "usage: $0 OUTPUT_FOLDER" >&2
    exit 2
fi
out=$1
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
fps=20
situations_per_chapter=4

command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed" >&2; exit 1; }
[ -r "$font" ] || { echo "missing font $font (package fonts-dejavu-core)" >&2; exit 1; }
mkdir -p "$out"

# Flat synthetic scenes compress to very little; the rate cap keeps the
# whole set small enough to ship with the sources.
encode=(-an -c:v libx264 -preset veryfast -profile:v main -pix_fmt yuv420p
        -crf 30 -maxrate 160k -bufsize 320k -g $((fps * 2)) -movflags +faststart)

render_count_down() {
    local file=$1
    local digits="" n
    for n in 3 2 1; do
        local from=$((3 - n))
        digits+=",drawtext=fontfile=$font:text='$n':fontsize=220:fontcolor=white"
        digits+=":x=(w-text_w)/2:y=(h-text_h)/2:enable='between(t,$from,$from+0.999)'"
    done
    ffmpeg -hide_banner -loglevel error -y \
        -f lavfi -i "color=c=0x1b2a49:s=640x360:r=$fps:d=3" \
        -vf "drawbox=x=170:y=30:w=300:h=300:color=white@0.25:t=6$digits" \
        "${encode[@]}" "$out/$file"
}

# render_situation FILE CHAPTER TH DURATION_MS DANGER_START_MS
render_situation() {
    local file=$1 chapter=$2 th=$3 duration_ms=$4 start_ms=$5
    local dur t0 kind
    dur=$(printf '%d.%03d' $((duration_ms / 1000)) $((duration_ms % 1000)))
    t0=$(printf '%d.%03d' $((start_ms / 1000)) $((start_ms % 1000)))
    kind=$(((chapter + th) % 3))

    # The road spans x 150..490; the driving lane is its right half, from the
    # centre line (x 324) to the right edge. A hazard's leading edge crosses
    # into that lane exactly at t0, then it stops inside the lane.
    local size colour x y
    case $kind in
        0) # pedestrian stepping in from the left
            size=22x44; colour=0xffd400
            x="min(324-22+(t-$t0)*70\,372)"
            y="236+max(0\,t-$t0)*8" ;;
        1) # car pulling out from the right
            size=70x38; colour=0xd01010
            x="max(490-(t-$t0)*90\,360)"
            y="250" ;;
        2) # motorbike cutting across from the left
            size=30x32; colour=0x1e50ff
            x="min(324-30+(t-$t0)*120\,400)"
            y="220+max(0\,t-$t0)*20" ;;
    esac

    local dashes="" k
    for k in 0 1 2 3; do
        dashes+=",drawbox=x=0:y=$((k * 80)):w=8:h=40:color=white:t=fill"
    done

    local graph
    graph="color=c=0x8ecae6:s=640x360:r=$fps:d=$dur,drawbox=x=0:y=170:w=640:h=20:color=0x6b8f71:t=fill[sky];"
    graph+="color=c=0x3f8f3f:s=640x170:r=$fps:d=$dur[grass];"
    graph+="color=c=0x6e6e6e:s=340x170:r=$fps:d=$dur,drawbox=x=4:y=0:w=6:h=170:color=white:t=fill,"
    graph+="drawbox=x=330:y=0:w=6:h=170:color=white:t=fill[road];"
    graph+="color=c=0x6e6e6e:s=8x320:r=$fps:d=$dur$dashes[dash];"
    graph+="color=c=$colour:s=$size:r=$fps:d=$dur[hazard];"
    graph+="[road][dash]overlay=x=166:y='mod(t*120\,80)-80':shortest=1[lanes];"
    graph+="[sky][grass]overlay=x=0:y=190:shortest=1[land];"
    graph+="[land][lanes]overlay=x=150:y=190:shortest=1[scene];"
    graph+="[scene][hazard]overlay=x='$x':y='$y':shortest=1,"
    graph+="drawbox=x=0:y=0:w=640:h=44:color=black@0.45:t=fill,"
    graph+="drawtext=fontfile=$font:text='Chương $chapter - Tình huống $th':fontsize=26:fontcolor=white:x=14:y=9[v]"

    ffmpeg -hide_banner -loglevel error -y -filter_complex "$graph" -map "[v]" \
        -t "$dur" "${encode[@]}" "$out/$file"
}

manifest="$out/manifest.csv"
tmp_manifest="$manifest.tmp"
echo "file,chapter,th,danger_start_ms,danger_end_ms" > "$tmp_manifest"

render_count_down count_down.mp4
echo "count_down.mp4,0,0,0,0" >> "$tmp_manifest"

for chapter in 1 2 3 4 5 6; do
    for th in $(seq 1 $situations_per_chapter); do
        # 12 to 20 s long; a 3 to 5 s window that starts 3 s in or later and
        # ends at least 2 s before the clip does.
        duration_ms=$((12000 + ((chapter * 7 + th * 5) % 9) * 1000))
        length_ms=$((3000 + ((chapter + th * 3) % 5) * 500))
        latest_ms=$((duration_ms - 2000 - length_ms))
        start_ms=$((3000 + ((chapter * 13 + th * 29) * 250) % (latest_ms - 3000 + 1)))
        start_ms=$((start_ms / 100 * 100))
        file="ch${chapter}_th${th}.mp4"
        render_situation "$file" "$chapter" "$th" "$duration_ms" "$start_ms"
        echo "$file,$chapter,$th,$start_ms,$((start_ms + length_ms))" >> "$tmp_manifest"
    done
done

mv "$tmp_manifest" "$manifest"
echo "rendered $((6 * situations_per_chapter + 1)) clips into $out"
