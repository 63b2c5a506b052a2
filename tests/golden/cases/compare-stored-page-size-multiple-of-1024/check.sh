test "$(stat -c %s a.html)" = 1024 && test "$(stat -c %s b.html)" = 2048
