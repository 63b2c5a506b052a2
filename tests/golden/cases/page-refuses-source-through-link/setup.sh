ln -s a.wiki alias.html
