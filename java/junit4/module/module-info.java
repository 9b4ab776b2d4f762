// The named module of zknative7-junit4.jar, stored under META-INF/versions/9 so Java 8 never reads it.
/**
 * Environment variables for JUnit 4 tests, set on the real environment: see
 * {@link quorvalen.zelka.junit4.EnvironmentVariablesRule}.
 */
module quorvalen.zelka.junit4 {
    requires transitive quorvalen.zelka;
    requires transitive junit;
    exports quorvalen.zelka.junit4;
}
