# Only a.wiki has a stored page: the run stops at b.wiki, and the links
# of a run that did not end are not checked.
"$TARVO" a.wiki >/dev/null
