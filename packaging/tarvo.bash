# Bash completion for tarvo: the options, the value that follows an option,
# and file names everywhere else (by readline's own completion, which knows
# quoting). Installed as /usr/share/bash-completion/completions/tarvo.

_tarvo() {
    local cur=${COMP_WORDS[COMP_CWORD]} i=1
    COMPREPLY=()
    # Walk the words before the cursor as tarvo reads them: an option that
    # takes a value takes the next word whatever it is, and after "--" every
    # word is a file name.
    while ((i < COMP_CWORD)); do
        case ${COMP_WORDS[i]} in
            --) return 0 ;;
            -file | -gen | -tmpl | -wrk | --dot | --dot-timeout | --jobs)
                if ((i + 1 == COMP_CWORD)); then
                    # A prefix or a path: file names; a number: nothing.
                    case ${COMP_WORDS[i]} in
                        --dot-timeout | --jobs) compopt +o default +o bashdefault 2>/dev/null ;;
                    esac
                    return 0
                fi
                ((i++)) ;;
        esac
        ((i++))
    done
    [[ $cur == [-+]* ]] && mapfile -t COMPREPLY < <(compgen -W '+r -r -file -gen -tmpl -wrk -test
        --svg --check-links --safe --html5 --toc --keep-tree --dot --dot-timeout --jobs -h --help --version
        -- -' -- "$cur")
    return 0
}
complete -F _tarvo -o bashdefault -o default tarvo
