# The completion function of zefa. The build puts the word lists in front of it
# (_zefa_commands, _zefa_options, _zefa_valued, _zefa_choices, _zefa_archives,
# _zefa_writable), made by zefa itself from its options and its format table.

_zefa() {
  local cur prev words cword
  _init_completion || return

  if ((cword == 1)); then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$_zefa_commands" -- "$cur"))
    fi
    return
  fi
  local cmd=${words[1]}
  [[ -v "_zefa_options[$cmd]" ]] || return

  # The value of an option.
  if [[ " ${_zefa_valued[$cmd]} " == *" $prev "* ]]; then
    if [[ -v "_zefa_choices[$cmd $prev]" ]]; then
      COMPREPLY=($(compgen -W "${_zefa_choices[$cmd $prev]}" -- "$cur"))
    elif [[ $prev == -o || $prev == --output ]]; then
      _filedir -d
    fi
    return
  fi
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "${_zefa_options[$cmd]}" -- "$cur"))
    return
  fi

  # Which argument this is, options and their values left out.
  local i n=0
  for ((i = 2; i < cword; i++)); do
    if [[ ${words[i]} == -* ]]; then
      [[ " ${_zefa_valued[$cmd]} " == *" ${words[i]} "* ]] && ((i++))
      continue
    fi
    ((n++))
  done
  case $cmd in
    info) _filedir ;;
    a) if ((n == 0)); then _filedir "$_zefa_writable"; else _filedir; fi ;;
    *) ((n == 0)) && _filedir "$_zefa_archives" ;;  # then entry names: nothing to offer
  esac
} && complete -F _zefa zefa
