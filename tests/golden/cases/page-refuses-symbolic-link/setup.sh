ln -s kept.html a.html
