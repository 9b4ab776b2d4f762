// The native library's name, and how one file of it is loaded into the JVM.
package quorvalen.zelka;

import java.io.File;

/**
 * Loads one file of the library behind {@link NativeTools}, wherever the loader found it, and
 * puts a failed load in the one line the loader's error lists it in.
 */
final class NativeLibrary {
    static final String NAME = "zknative7";

    private NativeLibrary() {
    }

    /** System.load, with a refusal of native access turned into the flag that grants it. */
    static void load(File library) {
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
            Object module = Class.class.getMethod("getModule").invoke(NativeLibrary.class);
            return (String) module.getClass().getMethod("getName").invoke(module);
        } catch (ReflectiveOperationException e) {
            return null;
        }
    }

    /** One failed load on one line: the place, then why, without the JVM's repeats of the file. */
    static String failedLoad(String place, Object file, Throwable e) {
        String reason = e.getMessage() == null ? e.toString() : e.getMessage();
        while (reason.startsWith(file + ": ")) {
            reason = reason.substring(file.toString().length() + 2);
        }
        return place + ": " + reason.replaceAll("\\s*[\\r\\n]+\\s*", " ");
    }
}
