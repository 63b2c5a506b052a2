# A page hidden by its attribute is replaced and stays hidden; a read-only one
# is refused and left as it is.
$WINE attrib +h a.html
$WINE attrib +r b.html
