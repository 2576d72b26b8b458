#!/usr/bin/env bash
# Draw the demo product images into db/postgres/images/: one small JPEG tile per product of
# the reference database that names an image file, coloured by product class, with the item
# number and description. Needs ImageMagick (apt-get install imagemagick) and the reference
# database (scripts/db.sh start).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
out=db/postgres/images
mkdir -p "$out"
convert=/usr/bin/convert
[[ -x $convert ]] || convert=convert

scripts/db.sh psql -At -F $'\t' -c "
    SELECT btrim(image_filename), item_no, product_class, description
    FROM product
    WHERE btrim(image_filename) <> '' AND upper(btrim(image_filename)) <> 'NO IMAGE.JPG'
    ORDER BY 1" |
    while IFS=$'\t' read -r file item class description; do
        case $class in
            TOOL) colour='#2f5d8a' ;;
            ELEC) colour='#c4661f' ;;
            HOME) colour='#2e7d4f' ;;
            FOOD) colour='#9c2f3a' ;;
            *) colour='#555555' ;;
        esac
        "$convert" -size 266x200 "xc:$colour" -fill white -gravity center \
            -font DejaVu-Sans-Bold -pointsize 44 -annotate +0-18 "$item" \
            -font DejaVu-Sans -pointsize 15 -annotate +0+34 "$description" \
            -strip -quality 70 "$out/$file"
        echo "$out/$file"
    done
