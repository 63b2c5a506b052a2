# The same bytes again leave the picture's file in place, with a new time.
[ "$(stat -c %i site/g.svg)" = "$(cat inode)" ] || { echo "site/g.svg was replaced"; exit 1; }
[ "$(date -r site/g.svg +%Y)" != 2020 ] || { echo "site/g.svg kept its old time"; exit 1; }
