# bash completion for the brackenfold programs: bfrender, bfplay, wko and brackenfold.
# The options, and the values of those that take a choice, are read from the program's own
# --help, so they follow it: a new row in a program's option table completes with no change here.

# Without the bash-completion package its helpers are missing: the two used here, plainly (the
# words around an "=" as it splits them, files and folders by compgen).
if ! declare -F _init_completion >/dev/null; then
    _init_completion()
    {
        COMPREPLY=()
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        split=false
        if [[ $1 == -s ]]; then
            if [[ $cur == = ]]; then
                prev=${COMP_WORDS[COMP_CWORD - 1]} cur="" split=true
            elif [[ $prev == = && $cword -ge 2 ]]; then
                prev=${COMP_WORDS[COMP_CWORD - 2]} split=true
            fi
        fi
        return 0
    }
fi
if ! declare -F _filedir >/dev/null; then
    _filedir()
    {
        local IFS=$'\n'
        if [[ $1 == -d ]]; then
            COMPREPLY=($(compgen -d -- "$cur"))
        else
            COMPREPLY=($(compgen -f -- "$cur"))
        fi
        compopt -o filenames 2>/dev/null
        return 0
    }
fi

_brackenfold_tools()
{
    local cur prev words cword split
    _init_completion -s || return

    local help
    help=$("$1" --help 2>/dev/null) || return

    # Option lines of --help: "  -r, --rate R   text" or "      --info   text".
    local line options="" value="" taken=false
    local re='^  (-([A-Za-z]), |    )(--[a-z0-9-]+)( ([^ ]+))?(  |$)'
    while IFS= read -r line; do
        [[ $line =~ $re ]] || continue
        local long=${BASH_REMATCH[3]} short=${BASH_REMATCH[2]:+-${BASH_REMATCH[2]}}
        options+=" $long $short"
        if [[ $prev == "$long" || (-n $short && $prev == "$short") ]]; then
            value=${BASH_REMATCH[5]}
            [[ -n $value ]] && taken=true
        fi
    done <<<"$help"

    # The value of the option before: a choice ("ft2|intro"), a folder, a file, or nothing to
    # offer (a number, a list, a size).
    if $taken; then
        case $value in
            *\|*) COMPREPLY=($(compgen -W "${value//|/ }" -- "$cur")) ;;
            DIR) _filedir -d ;;
            *.* | OUT | FILE) _filedir ;;
        esac
        return
    fi
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    case ${1##*/} in
        brackenfold) ;;
        wko)
            # The command comes first.
            local i
            for ((i = 1; i < cword; i++)); do
                case ${words[i]} in
                    encode | decode | info | compare) _filedir; return ;;
                esac
            done
            COMPREPLY=($(compgen -W "encode decode info compare" -- "$cur"))
            ;;
        *) _filedir ;;
    esac
} &&
    complete -F _brackenfold_tools bfrender bfplay wko brackenfold
