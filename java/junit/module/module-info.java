// The named module of zknative7-junit.jar, stored under META-INF/versions/9 so Java 8 never reads it.
/**
 * Environment variables for JUnit Jupiter tests, set on the real environment: see
 * {@link quorvalen.zelka.junit.SetEnvironmentVariable}.
 */
module quorvalen.zelka.junit {
    requires transitive quorvalen.zelka;
    requires transitive org.junit.jupiter.api;
    exports quorvalen.zelka.junit;
}
