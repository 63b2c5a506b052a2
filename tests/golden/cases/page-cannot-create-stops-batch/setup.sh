mkdir b.html
