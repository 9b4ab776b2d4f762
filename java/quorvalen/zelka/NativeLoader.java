package quorvalen.zelka;

/** Loads the native library behind {@link NativeTools}. */
final class NativeLoader {
    static final String LIBRARY = "zknative7";

    private NativeLoader() {
    }

    static void load() {
        System.loadLibrary(LIBRARY);
    }
}
