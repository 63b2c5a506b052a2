# Every level holds two links to the next one: 2^20 paths lead to l20.
for i in $(seq 0 19); do
  mkdir -p l$i
  ln -s ../l$((i + 1)) l$i/a
  ln -s ../l$((i + 1)) l$i/b
done
