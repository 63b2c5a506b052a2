# The help must fit an 80-column terminal; a tab moves to the next multiple of 8.
expand "$CASE_DIR/stdout" | awk 'length > 80 { print "wider than 80 columns: " $0; wide = 1 } END { exit wide }'
