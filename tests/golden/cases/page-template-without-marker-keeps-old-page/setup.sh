touch -d @981173106 a.html
