test "$(stat -c %s t.tmpl)" = 1024
