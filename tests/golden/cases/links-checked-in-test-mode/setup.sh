# The pages from a normal run, and one of the two images.
"$TARVO" -tmpl site.tmpl -file img/ '*.wiki' site/ >/dev/null
mkdir site/img
printf 'PNG\n' > site/img/cat.png
