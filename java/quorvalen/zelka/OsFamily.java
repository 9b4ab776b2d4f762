// Decides, from os.name alone, whether a JVM runs on Linux or Windows.
package quorvalen.zelka;

/**
 * The family of operating system an {@code os.name} belongs to, named as the platform table's
 * {@code os} column names it: {@code "Linux"} is Linux, and anything starting {@code "Windows"}
 * is Windows (the JDK reports "Windows 10", "Windows Server 2019" and so on). Every other system
 * has no family here, and the jar no library for it.
 */
final class OsFamily {
    static final String LINUX = "linux";
    static final String WINDOWS = "windows";

    /** The running JVM's family, or null. */
    private static final String HOST = of(System.getProperty("os.name"));

    private OsFamily() {
    }

    /** The family of this os.name, or null for any other system. */
    static String of(String osName) {
        if (osName == null) {
            return null;
        }
        return osName.startsWith("Windows") ? WINDOWS : osName.equals("Linux") ? LINUX : null;
    }

    static boolean hostIsWindows() {
        return WINDOWS.equals(HOST);
    }
}
