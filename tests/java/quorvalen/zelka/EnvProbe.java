// A child JVM that prints named variables as the library reads them.
package quorvalen.zelka;

/** Run in a child JVM: prints each named variable as this library reads it, in escaped ASCII. */
public final class EnvProbe {
    private EnvProbe() {
    }

    public static void main(String[] names) {
        for (String name : names) {
            String value = NativeTools.getenv(name);
            System.out.println(name + (value == null ? " unset" : "=" + escape(value)));
        }
    }

    static String escape(String text) {
        StringBuilder escaped = new StringBuilder();
        for (int i = 0; i < text.length(); i++) {
            char unit = text.charAt(i);
            if (unit >= 0x20 && unit < 0x7F && unit != '\\') {
                escaped.append(unit);
            } else {
                escaped.append(String.format("\\u%04x", (int) unit));
            }
        }
        return escaped.toString();
    }
}
