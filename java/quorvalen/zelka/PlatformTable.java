// The platform table: which os.name and os.arch each platform's library is for, and the library file's name.
package quorvalen.zelka;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * The build's platform table: one platform a row, its columns separated by blanks, {@code #}
 * starting a comment line. The first other line is the header, which names the columns; each
 * column read here is found by that name, wherever the table puts it: {@code platform}, the jar's
 * name for the platform; {@code os}, its {@link OsFamily}; {@code arch}, the {@code os.arch}
 * values it serves, comma-separated; and {@code library}, the library file in its build folder,
 * whose last path element is the file's name in the jar.
 */
final class PlatformTable {
    private static final String PLATFORM = "platform";
    private static final String OS = "os";
    private static final String ARCH = "arch";
    private static final String LIBRARY = "library";

    /** Why the table could not be read, or null when it was. */
    final String unreadable;
    private final List<Row> rows;

    private static final class Row {
        final String platform;
        final String os;
        final List<String> arches;
        final String library;

        Row(String[] fields, Map<String, Integer> columns) {
            platform = fields[columns.get(PLATFORM)];
            os = fields[columns.get(OS)];
            arches = Arrays.asList(fields[columns.get(ARCH)].toLowerCase(Locale.ROOT).split(","));
            String file = fields[columns.get(LIBRARY)];
            library = file.substring(file.lastIndexOf('/') + 1);
        }
    }

    private PlatformTable(List<Row> rows, String unreadable) {
        this.rows = rows;
        this.unreadable = unreadable;
    }

    /** A table of no platforms, as a jar without one has. */
    static PlatformTable empty() {
        return new PlatformTable(Collections.<Row>emptyList(), null);
    }

    /** A table of no platforms, that says why. */
    static PlatformTable unreadable(String why) {
        return new PlatformTable(Collections.<Row>emptyList(), why);
    }

    /** Reads a table; fails, saying why, when its header lacks a column or a row does not fit it. */
    static PlatformTable parse(InputStream in) throws IOException {
        BufferedReader reader = new BufferedReader(new InputStreamReader(in, StandardCharsets.UTF_8));
        String[] header = null;
        Map<String, Integer> columns = null;
        List<Row> rows = new ArrayList<>();
        for (String line; (line = reader.readLine()) != null; ) {
            String text = line.trim();
            if (text.isEmpty() || text.startsWith("#")) {
                continue;
            }
            String[] fields = text.split("\\s+");
            if (header == null) {
                header = fields;
                columns = columns(header);
            } else if (fields.length != header.length) {
                throw new IOException(
                    header.length + " columns expected, as the header names, not " + fields.length + ": " + text);
            } else {
                rows.add(new Row(fields, columns));
            }
        }
        return new PlatformTable(rows, null);
    }

    /** Where each column read here stands, by its first name in the header. */
    private static Map<String, Integer> columns(String[] header) throws IOException {
        Map<String, Integer> columns = new HashMap<>();
        for (int i = 0; i < header.length; i++) {
            columns.putIfAbsent(header[i], i);
        }
        for (String needed : new String[] {PLATFORM, OS, ARCH, LIBRARY}) {
            if (!columns.containsKey(needed)) {
                throw new IOException("the header names no column '" + needed + "': " + String.join(" ", header));
            }
        }
        return columns;
    }

    /** The platforms, in the table's order. */
    List<String> names() {
        List<String> names = new ArrayList<>();
        for (Row row : rows) {
            names.add(row.platform);
        }
        return names;
    }

    /** The library file's name for a platform, or null when no row names the platform. */
    String library(String platform) {
        for (Row row : rows) {
            if (row.platform.equals(platform)) {
                return row.library;
            }
        }
        return null;
    }

    /** The platform of the first row for this os.name and os.arch, or null when none fits. */
    String platform(String osName, String osArch) {
        String os = OsFamily.of(osName);
        if (os == null || osArch == null) {
            return null;
        }
        String arch = osArch.toLowerCase(Locale.ROOT);
        for (Row row : rows) {
            if (row.os.equals(os) && row.arches.contains(arch)) {
                return row.platform;
            }
        }
        return null;
    }
}
