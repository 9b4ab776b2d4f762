// Loads the native library from the one place meant: a named file, this jar's copy, or, if allowed, java.library.path.
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
 *       in this user's own folder under {@value ExtractionPlace#TMPDIR_PROPERTY} (default
 *       {@code java.io.tmpdir}), which must be one no other user can change;
 *   <li>only when that fails and {@value #USE_LIBRARY_PATH_PROPERTY} is {@code true}, a copy
 *       installed in a folder of {@code java.library.path}.
 * </ol>
 *
 * A failure is one {@link UnsatisfiedLinkError} whose one-line message says every place tried.
 */
final class NativeLoader {
    static final String LIBRARY_PROPERTY = "zknative7.library";
    static final String USE_LIBRARY_PATH_PROPERTY = "zknative7.useLibraryPath";

    /** Where the library was loaded from, in words a user can read; null until loaded. */
    static volatile String source;

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
        String platform = JarResources.PLATFORMS.platform(osName, osArch);
        List<String> tried = new ArrayList<>();
        try {
            loaded(BundledLibrary.load(platform, tried), "this jar's " + platform + " copy");
            return;
        } catch (NativeLibrary.NativeAccessDenied denied) {
            throw denied;  // every other place would be refused the same way
        } catch (UnsatisfiedLinkError notBundled) {
            if (!Boolean.getBoolean(USE_LIBRARY_PATH_PROPERTY)) {
                throw failure("cannot load " + NativeLibrary.NAME + " for os.name=" + osName + ", os.arch=" + osArch,
                    tried, "name a library file with -D" + LIBRARY_PROPERTY + "=FILE, or allow an installed one with -D"
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
            NativeLibrary.load(library);
        } catch (UnsatisfiedLinkError e) {
            tried.add(NativeLibrary.failedLoad(library.toString(), library, e));
            throw failure("cannot load " + NativeLibrary.NAME + " from " + LIBRARY_PROPERTY, tried, null);
        }
        loaded(library, LIBRARY_PROPERTY);
    }

    // Searched by the loader itself, so an empty entry never means the working folder, and the
    // error can say which folders held what.
    private static void loadFromLibraryPath(List<String> tried) {
        String fileName = System.mapLibraryName(NativeLibrary.NAME);
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
                NativeLibrary.load(library);
            } catch (UnsatisfiedLinkError e) {
                tried.add(NativeLibrary.failedLoad(library.toString(), library, e));
                throw failure("cannot load " + NativeLibrary.NAME + " from java.library.path", tried, null);
            }
            loaded(library, "java.library.path");
            return;
        }
        throw failure("cannot load " + NativeLibrary.NAME + " from this jar or java.library.path", tried, null);
    }

    private static void loaded(File library, String how) {
        source = how + ": " + library;
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
}
