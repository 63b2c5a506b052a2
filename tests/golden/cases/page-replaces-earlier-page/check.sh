test "$(stat -c %a a.html)" = 600
