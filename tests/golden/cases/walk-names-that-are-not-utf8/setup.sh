# Names whose bytes are not UTF-8: "?" takes such a byte as one character, and
# a name found by the search opens again under the bytes it has.
printf 'Latin-1 byte.\n' > $'\xff.txt'
printf 'Two characters.\n' > $'\xff\xfe.txt'
printf 'Plain.\n' > a.txt
