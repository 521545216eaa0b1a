# bash completion for korvane-scan                        -*- shell-script -*-
# Copyright (c) 2026 The korvane developers; MIT licence.

# Drops from each of COMPREPLY what readline keeps of the word: the part of
# $cur up to its last ':' or '=' that COMP_WORDBREAKS breaks words at.
_korvane_scan_ltrim()
{
    local breaks=
    [[ $COMP_WORDBREAKS == *:* ]] && breaks+=:
    [[ $COMP_WORDBREAKS == *=* ]] && breaks+='='
    [[ $breaks && $cur == *[$breaks]* ]] || return 0
    local kept=${cur%"${cur##*[$breaks]}"}
    local k
    for k in "${!COMPREPLY[@]}"; do
        COMPREPLY[k]=${COMPREPLY[k]#"$kept"}
    done
}

# --map ROOT=FOLDER: a drive letter's "D:=" (in the case typed), then the
# folders after the '='. Shares and folders on a drive are typed in full.
_korvane_scan_map()
{
    if [[ $cur == *=* ]]; then
        local root=${cur%%=*}= folder=${cur#*=} dir
        local IFS=$'\n'
        COMPREPLY=()
        for dir in $(compgen -d -- "$folder"); do
            COMPREPLY+=("$root$dir/")
        done
    else
        local letters=({A..Z})
        [[ $cur == [a-z]* ]] && letters=({a..z})
        COMPREPLY=($(compgen -W "${letters[*]/%/:=}" -- "$cur"))
    fi
    compopt -o nospace
    _korvane_scan_ltrim
}

_korvane_scan()
{
    local cur prev words cword split
    _init_completion -s -n := || return

    case $prev in
        --search | --restore-root | --prefer)
            _filedir -d
            return
            ;;
        --map)
            _korvane_scan_map
            return
            ;;
        --codepage)
            # auto, the names korvane takes for CP932, and the Windows code
            # pages of the editor's other languages (iconv knows many more),
            # in any case, as korvane takes them.
            local name
            COMPREPLY=()
            for name in auto CP932 SHIFT_JIS SJIS MS_KANJI WINDOWS-1250 \
                WINDOWS-1251 WINDOWS-1252 WINDOWS-1253 WINDOWS-1254 \
                WINDOWS-1255 WINDOWS-1256 WINDOWS-1257 WINDOWS-1258 CP936 \
                CP949 CP950; do
                [[ ${name^^} == "${cur^^}"* ]] && COMPREPLY+=("$name")
            done
            return
            ;;
        --undo)
            _filedir journal
            return
            ;;
        --forget)
            # A disk's label, UUID or share, or a folder on it.
            _filedir -d
            return
            ;;
        --candidates | --jobs | --help | --version)
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--trace --map --codepage --utf8 --explain
            --search --candidates --one-file-system --jobs --json --restore
            --apply --copy --restore-root --prefer --undo --catalogue --forget --no-catalogue
            --remember --changed --help --version' -- "$cur"))
        return
    fi

    # After --catalogue every name is a folder.
    local word
    for word in "${words[@]:1:cword-1}"; do
        if [[ $word == --catalogue ]]; then
            _filedir -d
            return
        fi
    done

    # FILE: a project, or a folder that stands for the projects below it.
    _filedir '@([dD][vV][cC])'
} &&
    complete -F _korvane_scan korvane-scan

# ex: filetype=sh
