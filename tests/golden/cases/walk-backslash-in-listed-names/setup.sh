# Names that hold a backslash: a character of the name, not a separator.
mkdir x
printf 'In x.\n' > x/y.txt
printf 'Backslash in the name.\n' > 'x\y.txt'
printf 'Alone.\n' > 'b\c.txt'
