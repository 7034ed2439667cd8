# bash completion for kestrin-cli
_kestrin_cli() {
    local cur prev words cword
    _init_completion || return

    local commands="write read verify erase detect fuses ports profiles restore produce log"
    local common="--port --profile --chip --config --quiet --json --save --help --version"
    local command="" w
    for w in "${words[@]:1:cword-1}"; do
        case " $commands " in *" $w "*) command=$w; break ;; esac
    done

    case $prev in
        --port|-p)
            COMPREPLY=($(compgen -W "$(kestrin-cli ports 2>/dev/null)" -- "$cur")); return ;;
        --memory|-m) COMPREPLY=($(compgen -W "flash eeprom" -- "$cur")); return ;;
        --format|-f) COMPREPLY=($(compgen -W "bin hex srec elf auto" -- "$cur")); return ;;
        --chip|-c)
            COMPREPLY=($(compgen -W "AT89S8252 AT89S8253 AT89S52 AT89S53 AT90xx ATtiny ATmega ATtiny13 ATtiny2313 ATmega8 ATmega328P" -- "$cur"))
            return ;;
        --config|--output|-o|--log) _filedir; return ;;
        --profile|-P|--start|-s|--size|-n|--write|-w|--count|--serial) return ;;
    esac

    case $command in
        "") COMPREPLY=($(compgen -W "$commands $common" -- "$cur")) ;;
        write)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--memory --start --verify --no-verify --backup --no-backup --format $common" -- "$cur"))
            else
                _filedir '@(hex|HEX|obj|bin|BIN|srec|s19|elf)'
            fi ;;
        verify)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--memory --start --format $common" -- "$cur"))
            else
                _filedir '@(hex|HEX|obj|bin|BIN|srec|s19|elf)'
            fi ;;
        read) COMPREPLY=($(compgen -W "--memory --start --size --output --format $common" -- "$cur")) ;;
        erase) COMPREPLY=($(compgen -W "--yes $common" -- "$cur")) ;;
        restore) COMPREPLY=($(compgen -W "--yes --save-as $common" -- "$cur")) ;;
        fuses) COMPREPLY=($(compgen -W "--write --from-elf --yes --yes-i-know $common" -- "$cur")) ;;
        profiles) COMPREPLY=($(compgen -W "list show $common" -- "$cur")) ;;
        produce)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--memory --start --format --count --serial --no-serial --log $common" -- "$cur"))
            else
                _filedir '@(hex|HEX|obj|bin|BIN|srec|s19|elf)'
            fi ;;
        log) COMPREPLY=($(compgen -W "--csv --log $common" -- "$cur")) ;;
        *) COMPREPLY=($(compgen -W "$common" -- "$cur")) ;;
    esac
}
complete -F _kestrin_cli kestrin-cli
