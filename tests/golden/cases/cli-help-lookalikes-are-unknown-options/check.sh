# Only the exact words -h, --help, --version and -- have a meaning; words that
# merely begin like them are unknown options, as ever.
for word in -hx -help --- --versions --Help; do
    message=$("$TARVO" "$word" a.txt 2>&1 >/dev/null)
    code=$?
    message=${message%$'\r'}
    if [ "$code" != 1 ] || [ "$message" != "unknown option $word" ]; then
        echo "$word: exit $code, stderr: $message"
        exit 1
    fi
done
