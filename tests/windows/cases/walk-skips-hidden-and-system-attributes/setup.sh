# The flags are attributes here: set with the system's attrib command.
$WINE attrib +h h.txt
$WINE attrib +s s.txt
$WINE attrib +h hd
$WINE attrib +s sd
