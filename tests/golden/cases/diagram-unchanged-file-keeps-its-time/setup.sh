# Stored DOT files that hold what the page's blocks give: LF, CR LF ending in
# a lone CR, a UTF-8 byte-order mark first, and lines of 1022 and 2046 bytes
# whose files end at the reader's 1024-byte window. All get an old time; the
# inodes are noted.
printf 'A\n B\n\n\n' > lf.dot
printf 'A\r\n B\r\n\r\n\r' > crlf.dot
printf '\xef\xbb\xbfA\n B\n\n\n' > bom.dot
for size in 1022 2046; do
  line=$(head -c $size /dev/zero | tr '\0' x)
  printf '<graphviz name="big%s">%s</graphviz>\n' $size "$line" >> page.wiki
  printf '%s\n\n' "$line" > big$size.dot
done
touch -d '2001-01-01 00:00' *.dot
stat -c '%n %i' *.dot > inodes.txt
