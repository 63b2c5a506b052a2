# Stored DOT files that differ from what the page's blocks give ("A", " B"
# and an empty line, or one line of 1022 or 2046 bytes and an empty line) only
# at the end: each is rewritten.
printf 'A\n B\n\n' > no-empty-last-line.dot
printf 'A\n B\nx\n\n' > other-line.dot
: > empty.dot
printf 'A\n B\n\n\nC' > text-after-the-end.dot
printf 'A\n B\n\n\n\n' > extra-line.dot
for size in 1022 2046; do
  line=$(head -c $size /dev/zero | tr '\0' x)
  for kind in short other long; do
    printf '<graphviz name="big%s-%s">%s</graphviz>\n' $size $kind "$line" >> page.wiki
  done
  printf '%s\n' "$line" > big$size-short.dot
  printf '%s\nx' "$line" > big$size-other.dot
  printf '%s\n\n\n' "$line" > big$size-long.dot
done
