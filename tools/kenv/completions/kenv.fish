# fish completion for kenv: commands, options and their values, the scope's variable names
# (get, set, unset), its PATH entries (path rm, path mv, path off), switched-off entries
# (path on), directories (path add), profiles (profile show, rm, on, off), documents
# (apply) and backup files (restore). The names, entries and backups come from `kenv __complete`, which reads
# them through the library for the scope given with --scope, before or after the command.

function __kenv_options --argument-names topic
    switch $topic
        case ''
            printf '%s\n' --scope --help --version
        case list
            printf '%s\n' --scope --json --max-width --help
        case env
            printf '%s\n' --scope --json --help
        case get
            printf '%s\n' --scope --expanded --help
        case set
            printf '%s\n' --scope --force --help
        case unset 'path rm' 'path mv' 'path off' 'path on'
            printf '%s\n' --scope --help
        case path 'path list'
            printf '%s\n' --scope --json --help
        case export
            printf '%s\n' --scope --format --output --help
        case apply
            printf '%s\n' --scope --prune --check --diff --json --help
        case profile 'profile *'
            printf '%s\n' --scope --from --vars --force --help
        case 'path add'
            printf '%s\n' --scope --at --help
        case backups
            printf '%s\n' --json --keep --older-than --dry-run --latest --scope --help
        case doctor
            printf '%s\n' --json --help
        case restore
            printf '%s\n' --latest --drop-invalid --help
        case shell-init
            printf '%s\n' --shell --install --uninstall --help
        case '*'
            printf '%s\n' --help
    end
end

function __kenv_complete
    set -l words (commandline -opc)
    set -l cur (commandline -ct)
    set -l cmd ''
    set -l sub ''
    set -l scope ''
    set -l positional 0
    set -l options_done 0
    set -l takes_value ''
    for word in $words[2..-1]
        if test -n "$takes_value"
            test "$takes_value" = --scope; and set scope $word
            set takes_value ''
            continue
        end
        if test $options_done -eq 0
            switch $word
                case --
                    set options_done 1
                    continue
                case --scope --at --shell --max-width --format --output -o --from
                    set takes_value $word
                    continue
                case '--scope=*'
                    set scope (string replace -- --scope= '' $word)
                    continue
                case '-?*'
                    continue
            end
        end
        if test -z "$cmd"
            set cmd $word
        else if contains -- $cmd path profile help; and test -z "$sub"
            set sub $word
        else
            set positional (math $positional + 1)
        end
    end
    contains -- "$scope" user system; or set scope ''
    set -l scope_option
    test -n "$scope"; and set scope_option --scope $scope

    switch "$words[-1]"
        case --scope
            printf '%s\n' user system
            return
        case --shell
            printf '%s\n' sh dash bash zsh fish
            return
        case --format
            printf '%s\n' json env
            return
        case --output -o --from
            __fish_complete_path $cur
            return
        case --at --max-width
            return
    end
    if string match -q -- '-*' "$cur"; and test $options_done -eq 0
        set -l topic $cmd
        test -n "$sub"; and set topic "$cmd $sub"
        __kenv_options $topic
        return
    end
    set -l commands list\t'show a scope' env\t'show what a new session gets' get\t'print one value' set\t'create or replace a variable' \
        unset\t'delete a variable' path\t'list or edit PATH' backups\t'list the backups' \
        restore\t'restore a backup' export\t'write a scope as one document' \
        apply\t'make a scope hold a document' profile\t'switch sets of variables on and off' \
        shell-init\t'load the variables into shells' \
        doctor\t'look for problems'
    switch "$cmd"
        case ''
            printf '%s\n' $commands help\t'show help'
        case get set unset
            test $positional -eq 0; and command kenv __complete names $scope_option 2>/dev/null
        case path
            switch "$sub"
                case ''
                    printf '%s\n' list add rm mv off on
                case rm mv off
                    test $positional -eq 0; and command kenv __complete entries $scope_option 2>/dev/null
                case on
                    test $positional -eq 0; and command kenv __complete off $scope_option 2>/dev/null
                case add
                    test $positional -eq 0; and __fish_complete_directories $cur
            end
        case profile
            switch "$sub"
                case ''
                    printf '%s\n' list new show rm on off
                case show rm on off
                    test $positional -eq 0; and command kenv __complete profiles $scope_option 2>/dev/null
            end
        case apply
            test $positional -eq 0; and __fish_complete_path $cur
        case restore
            if test $positional -eq 0
                command kenv __complete backups 2>/dev/null
                __fish_complete_path $cur
            end
        case help
            if test -z "$sub"
                printf '%s\n' $commands
            else if test "$sub" = path; and test $positional -eq 0
                printf '%s\n' list add rm mv off on
            else if test "$sub" = profile; and test $positional -eq 0
                printf '%s\n' list new show rm on off
            end
    end
end

complete -c kenv -f -a '(__kenv_complete)'
