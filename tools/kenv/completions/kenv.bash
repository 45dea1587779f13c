# bash completion for kenv                                   -*- shell-script -*-
#
# Completes commands, options and their values, the scope's variable names (get, set,
# unset), its PATH entries (path rm, path mv, path off), switched-off entries (path on),
# directories (path add), profiles (profile show, rm, on, off), documents (apply) and
# backup files (restore). The names, entries and backups come from `kenv __complete`, which reads them
# through the library for the scope given with --scope, before or after the command.
# Needs nothing from the bash-completion package, and works with it.

# Adds the lines of stdin that begin with $cur to COMPREPLY, quoted for the command line.
# Callers feed it through a redirection, not a pipe, so that it runs in this shell.
_kenv_add() {
  local word
  while IFS= read -r word; do
    [[ $word == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$word")")
  done
}

_kenv_add_words() {
  _kenv_add < <(printf '%s\n' "$@")
}

# kenv __complete names|entries|off|profiles|backups [--scope SCOPE]
_kenv_ask() {
  _kenv_add < <(command kenv __complete "$1" ${2:+--scope "$2"} 2>/dev/null)
}

_kenv_options() {
  case $1 in
  "") echo --scope --help --version ;;
  list) echo --scope --json --max-width --help ;;
  env) echo --scope --json --help ;;
  get) echo --scope --expanded --help ;;
  set) echo --scope --force --help ;;
  unset | "path rm" | "path mv" | "path off" | "path on") echo --scope --help ;;
  path | "path list") echo --scope --json --help ;;
  export) echo --scope --format --output --help ;;
  apply) echo --scope --prune --check --diff --json --help ;;
  profile*) echo --scope --from --vars --force --help ;;
  "path add") echo --scope --at --help ;;
  backups) echo --json --keep --older-than --dry-run --latest --scope --help ;;
  doctor) echo --json --help ;;
  restore) echo --latest --drop-invalid --help ;;
  shell-init) echo --shell --install --uninstall --help ;;
  *) echo --help ;;
  esac
}

_kenv() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local cmd="" sub="" scope="" word i positional=0 options_done=""
  COMPREPLY=()
  # bash splits "--scope=system" at "=" (COMP_WORDBREAKS): join what it split.
  if [[ $cur == = ]]; then
    cur=""
  elif [[ $prev == = ]]; then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  fi
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ -z $options_done ]]; then
      case $word in
      --) options_done=1; continue ;;
      --scope | --at | --shell | --max-width | --format | --output | -o | --from)
        ((i++))
        [[ ${COMP_WORDS[i]} == = ]] && ((i++))
        [[ $word == --scope ]] && scope=${COMP_WORDS[i]}
        continue ;;
      --scope=*) scope=${word#--scope=}; continue ;;
      -?*) continue ;;
      esac
    fi
    if [[ -z $cmd ]]; then
      cmd=$word
    elif [[ ($cmd == path || $cmd == profile || $cmd == help) && -z $sub ]]; then
      sub=$word
    else
      ((positional++))
    fi
  done
  [[ $scope == user || $scope == system ]] || scope=""

  case $prev in
  --scope) _kenv_add_words user system; return ;;
  --shell) _kenv_add_words sh dash bash zsh fish; return ;;
  --format) _kenv_add_words json env; return ;;
  --at | --max-width) return ;;
  --output | -o | --from)
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    return ;;
  esac
  if [[ $cur == -* && -z $options_done ]]; then
    # shellcheck disable=SC2046
    _kenv_add_words $(_kenv_options "$cmd${sub:+ $sub}")
    return
  fi
  case $cmd in
  "") _kenv_add_words list env get set unset path backups restore export apply profile shell-init doctor help ;;
  get | set | unset) ((positional == 0)) && _kenv_ask names "$scope" ;;
  path)
    case $sub in
    "") _kenv_add_words list add rm mv off on ;;
    rm | mv | off) ((positional == 0)) && _kenv_ask entries "$scope" ;;
    on) ((positional == 0)) && _kenv_ask off "$scope" ;;
    add)
      if ((positional == 0)); then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      fi ;;
    esac ;;
  profile)
    case $sub in
    "") _kenv_add_words list new show rm on off ;;
    show | rm | on | off) ((positional == 0)) && _kenv_ask profiles "$scope" ;;
    esac ;;
  apply)
    if ((positional == 0)); then
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi ;;
  restore)
    if ((positional == 0)); then
      _kenv_ask backups
      compopt -o filenames 2>/dev/null
      mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -f -- "$cur")
    fi ;;
  help)
    if [[ -z $sub ]]; then
      _kenv_add_words list env get set unset path backups restore export apply profile shell-init doctor
    elif [[ $sub == path ]] && ((positional == 0)); then
      _kenv_add_words list add rm mv off on
    elif [[ $sub == profile ]] && ((positional == 0)); then
      _kenv_add_words list new show rm on off
    fi ;;
  esac
}

complete -F _kenv kenv
