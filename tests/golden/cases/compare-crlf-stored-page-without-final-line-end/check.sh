tail -c 7 a.html | grep -q 'html>$'
