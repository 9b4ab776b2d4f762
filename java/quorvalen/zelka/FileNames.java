// Whether a file name reaches the system exactly as the command line holds it.
package quorvalen.zelka;

import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;

/**
 * The JDK hands file names and a child's arguments to the system encoded in
 * {@code sun.jnu.encoding}, the locale's charset: a character that charset lacks, or an unpaired
 * surrogate, reaches it as {@code ?}, which names another file. A U+FFFD in a name read from the
 * environment may stand for bytes that were never UTF-8, which no string can give back. Either
 * way the command line refuses the name rather than run or enter something else.
 */
final class FileNames {
    private static final String ENCODING = System.getProperty("sun.jnu.encoding", Charset.defaultCharset().name());
    private static final Charset CHARSET = charsetNamed(ENCODING);

    private FileNames() {
    }

    /** Why `name` cannot reach the system exactly, in words that end a message; null when it can. */
    static String whyNotExact(String name) {
        if (name.indexOf('\uFFFD') >= 0) {
            return "U+FFFD in it may stand for bytes that are not UTF-8, which cannot be passed on";
        }
        if (!new String(name.getBytes(CHARSET), CHARSET).equals(name)) {
            return "the locale's charset " + ENCODING + " cannot hold it exactly; run under a UTF-8 locale, for example LC_ALL=C.UTF-8";
        }
        return null;
    }

    private static Charset charsetNamed(String name) {
        try {
            return Charset.forName(name);
        } catch (IllegalArgumentException unknown) {
            return StandardCharsets.UTF_8;
        }
    }
}
