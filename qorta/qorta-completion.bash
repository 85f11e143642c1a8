# Bash completion for qorta: options, the values of --format, and audio
# files and folders as arguments.
_qorta() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  local options="--fir --iir --effect --gain --quality --fade-in --fade-out --peak --output --recursive
    --format --overwrite --jobs --json --quiet --help --version -f -i -e -g -q -p -o -r -t -y -j -h -V"
  case $prev in
    -t | --format)
      COMPREPLY=($(compgen -W "wav wav:8 wav:16 wav:24 wav:32 wav:float wav:double wavex rf64 w64 aiff aiff:16
        aiff:24 aifc:float caf caf:float au flac flac:16 flac:24 ogg opus" -- "$cur"))
      return ;;
    -o | --output | --json)
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    -e | --effect | -g | --gain | -q | --quality | --fade-in | --fade-out | -p | --peak | -j | --jobs)
      return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return
  fi
  COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X '!*.@(wav|WAV|wave|bwf|rf64|w64|aif|aiff|aifc|flac|ogg|oga|opus|caf|au|snd)' -- "$cur"))
}
complete -o filenames -F _qorta qorta
