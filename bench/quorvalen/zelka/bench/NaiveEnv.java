package quorvalen.zelka.bench;

/** The naive JNI baseline: GetStringUTFChars, libc, NewStringUTF. */
final class NaiveEnv {
    static {
        System.loadLibrary("zknative7_naive");
    }

    private NaiveEnv() {
    }

    static native String getenv(String name);

    static native boolean setenv(String name, String value);

    static native boolean unsetenv(String name);

    static native String[] environ();
}
