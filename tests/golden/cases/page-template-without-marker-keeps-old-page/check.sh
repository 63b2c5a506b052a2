test "$(stat -c %Y a.html)" = 981173106
