# The pages and the picture of a first run, which the run in test mode finds as it would make them.
"$TARVO" +r --keep-tree --check-links --svg --dot ./fakedot --jobs 1 -wrk dot/ 'docs/*.wiki' site/ >/dev/null
