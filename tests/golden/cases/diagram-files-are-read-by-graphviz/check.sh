# Graphviz's dot reads every DOT file the run wrote (every theme and usage of
# quickgv, a block inside a line, names that must be quoted, a plain graphviz
# block) without a complaint and draws it. Without dot the case fails.
command -v dot >/dev/null || { echo "Graphviz dot is not on PATH: install the graphviz package"; exit 1; }
for f in dot/*.dot; do
  svg=$(dot -Tsvg "$f" 2>errors.txt) && [ ! -s errors.txt ] && [[ $svg == *"<svg"* ]] ||
    { echo "dot failed on $f:"; cat errors.txt "$f"; exit 1; }
done
