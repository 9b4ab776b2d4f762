// Which family each os.name is, how the platform table is read, and that this JVM maps to the platform under test.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.IOException;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.Locale;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;

class PlatformTableTest {
    static PlatformTable parse(String text) throws Exception {
        return PlatformTable.parse(new ByteArrayInputStream(text.getBytes(StandardCharsets.UTF_8)));
    }

    @Test
    void columnsAreFoundByTheirNameInTheHeader() throws Exception {
        PlatformTable table = parse("# platform os arch library, but not in that order\n"
            + "\n"
            + "   \t \n"
            + "  # an indented comment\n"
            + "library     runner  arch   os       platform   arch\n"
            + "bin/lib.dll wine    A1,a2  windows  windows-a  ignored\n"
            + "#lib.so     native  b1     linux    linux-b    b1\n"
            + "lib.so\tnative  a1,c1  linux    linux-c    c1\n"
            + "  lib.so    native  a1     linux    linux-a    a1  \n");
        assertEquals(Arrays.asList("windows-a", "linux-c", "linux-a"), table.names());
        String[][] cases = {
            {"Windows 10", "a1", "windows-a"},
            {"Windows 10", "A2", "windows-a"},  // os.arch is matched without regard to case
            {"Linux", "a1", "linux-c"},         // the first row that fits
            {"Linux", "c1", "linux-c"},
            {"Linux", "a2", null},              // a Windows row's
            {"Linux", "b1", null},              // commented out
            {"Windows 10", "ignored", null},    // only the first column of a name is read
            {"Linux", "a", null},               // whole values only
            {"Linux", "a1,c1", null},
            {"linux", "a1", null},              // os.name is "Linux" exactly
            {"Mac OS X", "a1", null},
            {"Linux", "", null},
            {null, "a1", null},
            {"Linux", null, null},
        };
        for (String[] c : cases) {
            assertEquals(c[2], table.platform(c[0], c[1]), c[0] + "/" + c[1]);
        }
        assertEquals("lib.dll", table.library("windows-a"));  // the file's name, without its build folder
        assertEquals("lib.so", table.library("linux-a"));
        assertEquals(null, table.library("linux-b"));
    }

    @Test
    void aTableThatDoesNotSayWhereItsColumnsAreIsRefused() {
        String[][] cases = {
            // the table, and what the refusal says
            {"os arch library\nlinux a1 lib.so\n", "the header names no column 'platform': os arch library"},
            {"platform arch library\np a1 lib.so\n", "no column 'os'"},
            {"platform os library\np linux lib.so\n", "no column 'arch'"},
            {"platform os arch\np linux a1\n", "no column 'library'"},
            {"# a header kept as a comment\n# platform os arch library\np linux a1 lib.so\n",
                "the header names no column 'platform': p linux a1 lib.so"},
            {"platform os arch library\np linux a1\n", "4 columns expected, as the header names, not 3: p linux a1"},
            {"platform os arch library\np linux a1 lib.so extra\n", "not 5"},
        };
        for (String[] c : cases) {
            IOException refused = assertThrows(IOException.class, () -> parse(c[0]), c[0]);
            assertTrue(refused.getMessage().contains(c[1]), refused.getMessage());
        }
    }

    @Test
    void osNamesMapToTheTablesFamilies() {
        String[][] cases = {
            {"Linux", "linux"},
            {"Windows 10", "windows"},
            {"Windows Server 2019", "windows"},
            {"Windows", "windows"},
            {"linux", null},
            {"GNU/Linux", null},
            {"windows 10", null},
            {"Mac OS X", null},
            {"FreeBSD", null},
            {"", null},
            {null, null},
        };
        for (String[] c : cases) {
            assertEquals(c[1], OsFamily.of(c[0]), c[0]);
        }
        // Only Windows separates file names with '\\'; the JVM knows its host that way too.
        assertEquals(File.separatorChar == '\\', OsFamily.hostIsWindows(), System.getProperty("os.name"));
    }

    @Test
    void aTableOfCommentsAloneServesNothing() throws Exception {
        for (String text : new String[] {"", "# nothing\n\n", "platform os arch library\n"}) {
            PlatformTable table = parse(text);
            assertEquals(Arrays.asList(), table.names(), text);
            assertEquals(null, table.platform("Linux", "amd64"), text);
        }
    }

    @Test
    @Tag("architecture")
    void theRunningJvmMapsToThePlatformUnderTest() {
        String expected = System.getProperty("zknative7.test.platform");
        assertEquals(expected, JarResources.PLATFORMS.platform(System.getProperty("os.name"), System.getProperty("os.arch")),
            "os.arch=" + System.getProperty("os.arch"));
        assertEquals(null, JarResources.PLATFORMS.unreadable);
        assertTrue(JarResources.PLATFORMS.names().contains(expected), JarResources.PLATFORMS.names().toString());
        // The table's byte order for the platform is the JVM's.
        assertEquals(System.getProperty("zknative7.test.endian").toUpperCase(Locale.ROOT) + "_ENDIAN",
            ByteOrder.nativeOrder().toString());
    }
}
