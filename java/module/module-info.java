// The named module of zknative7.jar, stored under META-INF/versions/9 so Java 8 never reads it.
/**
 * Exact, thread-safe access to the environment of the running process: see
 * {@link quorvalen.zelka.NativeTools}.
 */
module quorvalen.zelka {
    exports quorvalen.zelka;
}
