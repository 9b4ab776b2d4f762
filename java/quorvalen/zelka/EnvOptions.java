// Reads the command line's options as GNU env reads its own.
package quorvalen.zelka;

import java.util.ArrayList;
import java.util.List;

/**
 * The command line's options, read as GNU env reads its own: bundled short options, long ones by
 * any unambiguous prefix, and nothing after the first operand or {@code --}.
 */
final class EnvOptions {
    /** GNU env's long options, so that a prefix is ambiguous exactly where it is there. */
    static final String[] LONG = {"ignore-environment", "null", "unset", "chdir", "help", "version",
        "split-string", "block-signal", "default-signal", "ignore-signal", "list-signal-handling", "debug"};
    /** The first of them this command does not support. */
    static final int FIRST_UNSUPPORTED = 6;

    final List<String> unsets = new ArrayList<>();
    boolean ignoreEnvironment;
    boolean nullTerminated;
    /** The folder to run COMMAND in, or null. */
    String directory;
    /** "help" or "version" when one was asked for: then nothing else is done. */
    String shown;
    /** Where the operands start. */
    int operands;

    private EnvOptions() {
    }

    static EnvOptions parse(String[] args) throws EnvFailure {
        EnvOptions options = new EnvOptions();
        int next = 0;
        while (next < args.length && options.shown == null) {
            String arg = args[next];
            if (arg.equals("--")) {
                next++;
                break;
            }
            if (!arg.startsWith("-") || arg.equals("-")) {
                break;
            }
            next = arg.startsWith("--") ? options.longOption(args, next) : options.shortOptions(args, next);
        }
        options.operands = next;
        return options;
    }

    /** Reads the long option at args[at]; returns where the next argument is. */
    private int longOption(String[] args, int at) throws EnvFailure {
        String arg = args[at];
        int equals = arg.indexOf('=');
        String given = arg.substring(2, equals < 0 ? arg.length() : equals);
        String option = resolve(given);
        if (option.equals("unset") || option.equals("chdir")) {
            String value;
            if (equals >= 0) {
                value = arg.substring(equals + 1);
            } else if (at + 1 < args.length) {
                value = args[++at];
            } else {
                throw EnvFailure.usage("option '--" + option + "' requires an argument");
            }
            take(option.charAt(0), value);
            return at + 1;
        }
        if (equals >= 0) {
            throw EnvFailure.usage("option '--" + option + "' doesn't allow an argument");
        }
        switch (option) {
            case "ignore-environment":
                ignoreEnvironment = true;
                break;
            case "null":
                nullTerminated = true;
                break;
            default:
                shown = option;
        }
        return at + 1;
    }

    /** The long option `given` names exactly, or as the only one it begins. */
    static String resolve(String given) throws EnvFailure {
        String found = null;
        int matches = 0;
        for (int i = 0; i < LONG.length; i++) {
            if (LONG[i].equals(given)) {
                found = LONG[i];
                matches = 1;
                break;
            }
            if (!given.isEmpty() && LONG[i].startsWith(given)) {
                found = LONG[i];
                matches++;
            }
        }
        if (matches == 0) {
            throw EnvFailure.usage("unrecognized option '--" + given + "'");
        }
        if (matches > 1) {
            throw EnvFailure.usage("option '--" + given + "' is ambiguous");
        }
        for (int i = FIRST_UNSUPPORTED; i < LONG.length; i++) {
            if (LONG[i].equals(found)) {
                throw EnvFailure.usage("option '--" + found + "' is not supported");
            }
        }
        return found;
    }

    /** Reads the bundle of short options at args[at]; returns where the next argument is. */
    private int shortOptions(String[] args, int at) throws EnvFailure {
        String arg = args[at];
        for (int i = 1; i < arg.length(); i++) {
            char letter = arg.charAt(i);
            switch (letter) {
                case 'i':
                    ignoreEnvironment = true;
                    break;
                case '0':
                    nullTerminated = true;
                    break;
                case 'h':
                    shown = "help";
                    return at + 1;
                case 'u':
                case 'C':
                    if (i + 1 < arg.length()) {
                        take(letter, arg.substring(i + 1));
                    } else if (at + 1 < args.length) {
                        take(letter, args[++at]);
                    } else {
                        throw EnvFailure.usage("option requires an argument -- '" + letter + "'");
                    }
                    return at + 1;
                case 'S':
                case 'v':
                    throw EnvFailure.usage("option '-" + letter + "' is not supported");
                default:
                    throw EnvFailure.usage("invalid option -- '" + letter + "'");
            }
        }
        return at + 1;
    }

    private void take(char option, String value) {
        if (option == 'u') {
            unsets.add(value);
        } else {
            directory = value;
        }
    }
}
