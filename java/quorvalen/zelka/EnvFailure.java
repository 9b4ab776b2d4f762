// A failure of the command line, and the exit status env(1) gives it.
package quorvalen.zelka;

/** A failure that ends the run with one line on stderr and an env(1) status. */
final class EnvFailure extends Exception {
    private static final long serialVersionUID = 1L;

    // As env(1) exits when it fails itself or is called wrongly, when COMMAND cannot run, when it is not found.
    static final int FAILED = 125;
    static final int CANNOT_RUN = 126;
    static final int NOT_FOUND = 127;

    final int status;

    EnvFailure(int status, String message) {
        super(message);
        this.status = status;
    }

    /** zknative7's own failure. */
    EnvFailure(String message) {
        this(FAILED, message);
    }

    /** A call the command line does not take, pointing at its help. */
    static EnvFailure usage(String message) {
        return new EnvFailure(message + " (see --help)");
    }
}
