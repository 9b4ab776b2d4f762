package quorvalen.zelka;

import java.io.File;
import java.util.ArrayList;
import java.util.List;

/**
 * Loads the native library behind {@link NativeTools} from the one place meant, never from a
 * place it merely finds first:
 *
 * <ol>
 *   <li>the file named by {@value #LIBRARY_PROPERTY}, when set, and nothing else;
 *   <li>otherwise the copy this jar carries for the running platform, extracted to a new folder
 *       under {@value #TMPDIR_PROPERTY} (default {@code java.io.tmpdir});
 *   <li>only when that fails and {@value #USE_LIBRARY_PATH_PROPERTY} is {@code true}, a copy
 *       installed in a folder of {@code java.library.path}.
 * </ol>
 *
 * A failure is one {@link UnsatisfiedLinkError} whose one-line message says every place tried.
 */
final class NativeLoader {
    static final String LIBRARY = "zknative7";
    static final String LIBRARY_PROPERTY = "zknative7.library";
    static final String TMPDIR_PROPERTY = "zknative7.tmpdir";
    static final String USE_LIBRARY_PATH_PROPERTY = "zknative7.useLibraryPath";

    /** Where the library was loaded from, in words a user can read; null until loaded. */
    static volatile String source;

    /** The library file loaded; null until loaded. */
    static volatile String file;

    private NativeLoader() {
    }

    static synchronized void load() {
        if (source != null) {
            return;
        }
        String named = System.getProperty(LIBRARY_PROPERTY);
        if (named != null) {
            loadNamedFile(named);
            return;
        }
        String osName = System.getProperty("os.name");
        String osArch = System.getProperty("os.arch");
        List<String> tried = new ArrayList<>();
        try {
            loaded(BundledLibrary.load(osName, osArch, tried), "this jar's " + platform(osName, osArch) + " copy");
            return;
        } catch (NativeAccessDenied denied) {
            throw denied;  // every other place would be refused the same way
        } catch (UnsatisfiedLinkError notBundled) {
            if (!Boolean.getBoolean(USE_LIBRARY_PATH_PROPERTY)) {
                throw failure("cannot load " + LIBRARY + " for os.name=" + osName + ", os.arch=" + osArch, tried,
                    "name a library file with -D" + LIBRARY_PROPERTY + "=FILE, or allow an installed one with -D"
                        + USE_LIBRARY_PATH_PROPERTY + "=true");
            }
        }
        loadFromLibraryPath(tried);
    }

    private static void loadNamedFile(String named) {
        List<String> tried = new ArrayList<>();
        if (named.isEmpty()) {
            throw failure(LIBRARY_PROPERTY + " is set but empty", tried, "name the library file, or leave it unset");
        }
        File library = new File(named).getAbsoluteFile();
        try {
            systemLoad(library);
        } catch (UnsatisfiedLinkError e) {
            tried.add(attempt(library.toString(), library, e));
            throw failure("cannot load " + LIBRARY + " from " + LIBRARY_PROPERTY, tried, null);
        }
        loaded(library, LIBRARY_PROPERTY);
    }

    // Searched by the loader itself, so an empty entry never means the working folder, and the
    // error can say which folders held what.
    private static void loadFromLibraryPath(List<String> tried) {
        String fileName = System.mapLibraryName(LIBRARY);
        for (String folder : System.getProperty("java.library.path", "").split(File.pathSeparator)) {
            if (folder.isEmpty()) {
                continue;
            }
            File library = new File(folder, fileName).getAbsoluteFile();
            if (!library.isFile()) {
                tried.add(library + ": no such file");
                continue;
            }
            try {
                systemLoad(library);
            } catch (UnsatisfiedLinkError e) {
                tried.add(attempt(library.toString(), library, e));
                throw failure("cannot load " + LIBRARY + " from java.library.path", tried, null);
            }
            loaded(library, "java.library.path");
            return;
        }
        throw failure("cannot load " + LIBRARY + " from this jar or java.library.path", tried, null);
    }

    private static void loaded(File library, String how) {
        file = library.getPath();
        source = how + ": " + library;
    }

    /** System.load, with a refusal of native access turned into the flag that grants it. */
    static void systemLoad(File library) {
        try {
            System.load(library.getPath());
        } catch (RuntimeException e) {
            // IllegalCallerException, JDK 22 and later under --illegal-native-access=deny.
            if (!e.getClass().getName().equals("java.lang.IllegalCallerException")) {
                throw e;
            }
            throw new NativeAccessDenied(moduleName(), e);
        }
    }

    /** A load the JVM refused for want of native access, saying which flag grants it. */
    static final class NativeAccessDenied extends UnsatisfiedLinkError {
        private static final long serialVersionUID = 1L;

        NativeAccessDenied(String module, RuntimeException cause) {
            super("native access is denied to " + (module == null ? "the class path" : "module " + module)
                + "; run java with --enable-native-access=" + (module == null ? "ALL-UNNAMED" : module));
            initCause(cause);
        }
    }

    /** This class's module's name, or null on the class path or before Java 9. */
    static String moduleName() {
        try {
            Object module = Class.class.getMethod("getModule").invoke(NativeLoader.class);
            return (String) module.getClass().getMethod("getName").invoke(module);
        } catch (ReflectiveOperationException e) {
            return null;
        }
    }

    /** One failed attempt on one line: the place, then why, without the JVM's repeats of the file. */
    static String attempt(String place, Object file, Throwable e) {
        String reason = e.getMessage() == null ? e.toString() : e.getMessage();
        while (reason.startsWith(file + ": ")) {
            reason = reason.substring(file.toString().length() + 2);
        }
        return place + ": " + reason.replaceAll("\\s*[\\r\\n]+\\s*", " ");
    }

    static UnsatisfiedLinkError failure(String what, List<String> tried, String hint) {
        StringBuilder message = new StringBuilder(what);
        if (!tried.isEmpty()) {
            message.append("; tried ").append(String.join("; ", tried));
        }
        if (hint != null) {
            message.append("; ").append(hint);
        }
        return new UnsatisfiedLinkError(message.toString());
    }

    /** The jar's name for a platform, or null when it has no library for it. */
    static String platform(String osName, String osArch) {
        return JarResources.PLATFORMS.platform(osName, osArch);
    }
}
