// Which family each os.name is, how the platform table is read, and that this JVM maps to the platform under test.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.File;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;

class PlatformTableTest {
    static List<String[]> parse(String text) throws Exception {
        return PlatformTable.parse(new ByteArrayInputStream(text.getBytes(StandardCharsets.UTF_8)));
    }

    @Test
    void rowsAreReadByTheirFirstThreeColumns() throws Exception {
        List<String[]> rows = parse("# platform os arch\n"
            + "\n"
            + "   \t \n"
            + "linux-a   linux   A1,a2   toolchain.cmake  bin/lib.so  native  /jdk  -\n"
            + "short-row linux\n"
            + "  windows-a\twindows a1\n"
            + "#linux-b linux b1\n"
            + "linux-c linux a1,c1\n");
        assertArrayEquals(new String[] {"linux-a", "windows-a", "linux-c"}, PlatformTable.names(rows));
        String[][] cases = {
            {"Linux", "a1", "linux-a"},
            {"Linux", "A2", "linux-a"},   // os.arch is matched without regard to case
            {"Linux", "c1", "linux-c"},
            {"Windows 10", "a1", "windows-a"},
            {"Windows 10", "a2", null},
            {"Linux", "b1", null},        // commented out
            {"Linux", "a", null},         // whole values only
            {"Linux", "a1,a2", null},
            {"linux", "a1", null},        // os.name is "Linux" exactly
            {"Mac OS X", "a1", null},
            {"Linux", "", null},
        };
        for (String[] c : cases) {
            assertEquals(c[2], PlatformTable.platform(rows, c[0], c[1]), c[0] + "/" + c[1]);
        }
        assertEquals("lib.so", PlatformTable.library(rows, "linux-a"));
        assertEquals(null, PlatformTable.library(rows, "windows-a"));  // a row without that column
        assertEquals(null, PlatformTable.library(rows, "linux-b"));
        assertEquals(null, PlatformTable.platform(rows, null, "a1"));
        assertEquals(null, PlatformTable.platform(rows, "Linux", null));
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
    void anEmptyTableServesNothing() throws Exception {
        List<String[]> rows = parse("");
        assertEquals(0, PlatformTable.names(rows).length);
        assertEquals(null, PlatformTable.platform(rows, "Linux", "amd64"));
    }

    @Test
    @Tag("architecture")
    void theRunningJvmMapsToThePlatformUnderTest() {
        String expected = System.getProperty("zknative7.test.platform");
        assertEquals(expected, NativeLoader.platform(System.getProperty("os.name"), System.getProperty("os.arch")),
            "os.arch=" + System.getProperty("os.arch"));
        assertTrue(Arrays.asList(NativeLoader.PLATFORMS).contains(expected), Arrays.toString(NativeLoader.PLATFORMS));
    }
}
