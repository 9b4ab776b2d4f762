// The natives and their wrappers against this process's real environment.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/** The natives and their wrappers on a real JVM, against the real environment of this process. */
@Tag("architecture")
class NativeToolsTest {
    static List<Arguments> namesAndValues() {
        String[] names = {"ZK7J_ASCII", "ZK7J_\u0418\u041c\u042f", "ZK7J_\u540d\u524d", "ZK7J_\uD83D\uDD11",
            "ZK7J_\uDBFF"};
        String[] values = {"plain", "\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440",
            "\u4e16\u754c\u4f60\u597d", "\uD83D\uDE00 and \uD800\uDF48", "\uD800x\uDC00", "\uDC00\uD800",
            "a=b==c", repeat("\u00e9\u4e2d", 400),
            // the edges of what a JVM reads back from the stored bytes directly
            "\u0080\u07FF\u0800\uD7FF\uE000\uFFFD\uFFFF", repeat("/opt/tool/bin:", 300)};
        List<Arguments> all = new ArrayList<>();
        for (String name : names) {
            for (String value : values) {
                all.add(Arguments.of(name, value));
            }
        }
        return all;
    }

    @ParameterizedTest
    @MethodSource("namesAndValues")
    void namesAndValuesComeBackExactly(String name, String value) {
        assertTrue(NativeTools.putenv(name + "=" + value));
        assertEquals(value, NativeTools.getenv(name));
        assertEquals(value, NativeTools.getenv0(name), "the native that measures the name itself");
        assertTrue(NativeTools.unsetenv(name));
        assertNull(NativeTools.getenv(name));
        assertNull(NativeTools.getenv0(name));
    }

    /** Where the native side starts to copy ASCII values in through a byte array (ascii_string.h). */
    static final int ASCII_THROUGH_ARRAY = 1024;

    /** The longest name a Linux lookup copies onto the stack rather than the heap (stack_buffers.h). */
    static final int NAME_ON_THE_STACK = 170;

    static List<Arguments> namesAroundTheStack() {
        List<Arguments> all = new ArrayList<>();
        // Latin-1 Strings, which the JVM widens as it copies them, and UTF-16 ones.
        for (String fill : new String[] {"n", "\u00e9", "\u4e2d", "\uD83D\uDD11", "\uDC00"}) {
            for (int units : new int[] {NAME_ON_THE_STACK - 1, NAME_ON_THE_STACK, NAME_ON_THE_STACK + 1}) {
                all.add(Arguments.of(("ZK7J_" + repeat(fill, units)).substring(0, units)));
            }
        }
        return all;
    }

    @ParameterizedTest
    @MethodSource("namesAroundTheStack")
    void namesAroundWhatALookupKeepsOnTheStackAreFoundExactly(String name) {
        assertTrue(NativeTools.putenv(name + "=found"));
        assertEquals("found", NativeTools.getenv(name));
        assertEquals("found", NativeTools.getenv(name + "\0junk"));
        String[] noVariable = {"=" + name.substring(1), name.substring(0, name.length() - 1) + "=",
            name.substring(0, name.length() - 1)};
        for (String other : noVariable) {
            assertNull(NativeTools.getenv(other), other.length() + " units");
        }
        assertTrue(NativeTools.unsetenv(name));
        assertNull(NativeTools.getenv(name));
    }

    static List<Arguments> longValues() {
        int t = ASCII_THROUGH_ARRAY;
        List<Arguments> all = new ArrayList<>();
        for (int length : new int[] {t - 1, t, t + 1, 4096, 1 << 20}) {
            all.add(Arguments.of(ascii(length)));
        }
        all.add(Arguments.of(repeat("\u007f", t)));
        all.add(Arguments.of(repeat("\u0001~", t)));
        // one character beyond ASCII, at the start, in the middle or at the end of a long value
        for (String odd : new String[] {"\u0080", "\u00ff", "\u4e2d", "\uD83D\uDE00", "\uDC00"}) {
            all.add(Arguments.of(odd + ascii(t + 1)));
            all.add(Arguments.of(ascii(t / 2) + odd + ascii(t / 2)));
            all.add(Arguments.of(ascii(4096) + odd));
        }
        return all;
    }

    @ParameterizedTest
    @MethodSource("longValues")
    void longValuesComeBackExactly(String value) {
        assertTrue(NativeTools.setenv("ZK7J_LONG", value));
        assertEquals(value, NativeTools.getenv("ZK7J_LONG"));
        assertTrue(NativeTools.unsetenv("ZK7J_LONG"));
    }

    @Test
    void everyLengthAroundTheThresholdComesBackExactly() {
        for (int length = 1; length <= 2 * ASCII_THROUGH_ARRAY + 65; length++) {
            String value = ascii(length);
            assertTrue(NativeTools.setenv("ZK7J_SWEEP", value));
            assertEquals(value, NativeTools.getenv("ZK7J_SWEEP"), "length " + length);
        }
        assertTrue(NativeTools.unsetenv("ZK7J_SWEEP"));
    }

    @Test
    void aValueOfSeveralMebibytesComesBackExactly() {
        // 2 Mi units: 4 MiB as UTF-16, about 4.5 MB as WTF-8.
        int units = 2 << 20;
        StringBuilder value = new StringBuilder(units);
        String[] pieces = {"a", "\u00e9", "\u4e2d", "\uD83D\uDE00", "\uD800", "\uDFFF", "="};
        for (int i = 0; value.length() < units - 1; i++) {
            value.append(pieces[i % pieces.length]);
        }
        value.setLength(units - 1);
        value.append('z');
        assertTrue(NativeTools.setenv("ZK7J_HUGE", value.toString()));
        assertEquals(value.toString(), NativeTools.getenv("ZK7J_HUGE"));
        assertTrue(NativeTools.unsetenv("ZK7J_HUGE"));
    }

    @Test
    void assignmentsMeanWhatTheyMeanOnWindows() {
        // Each row: assignment, whether it applies, the value of ZK7J_S afterwards.
        Object[][] steps = {
            {"ZK7J_S=first", true, "first"},
            {"ZK7J_S=second", true, "second"},
            {"", false, "second"},
            {"ZK7J_S", false, "second"},
            {"=ZK7J_S", false, "second"},
            {"ZK7J_S\0=zero", false, "second"},
            {"ZK7J_S=cut\0off", true, "cut"},
            {"ZK7J_S=", true, null},
            {"ZK7J_S=", true, null},
            {null, false, null},
        };
        for (Object[] step : steps) {
            assertEquals(step[1], NativeTools.putenv((String) step[0]), String.valueOf(step[0]));
            assertEquals(step[2], NativeTools.getenv("ZK7J_S"), String.valueOf(step[0]));
        }
    }

    @Test
    void lookupsThatNameNoVariable() {
        assertTrue(NativeTools.setenv("ZK7J_A", "B=value"));
        assertNull(NativeTools.getenv(null));
        assertNull(NativeTools.getenv(""));
        assertNull(NativeTools.getenv("ZK7J_A=B"));
        assertNull(NativeTools.getenv("\0ZK7J_A"));
        assertEquals("B=value", NativeTools.getenv("ZK7J_A\0junk"));
        assertNull(NativeTools.getenv("ZK7J_NEVER_SET"));
        assertTrue(NativeTools.unsetenv("ZK7J_A"));
    }

    @Test
    void setenvWithAnEmptyValueRemoves() {
        assertTrue(NativeTools.setenv("ZK7J_E", "x"));
        assertTrue(NativeTools.setenv("ZK7J_E", ""));
        assertNull(NativeTools.getenv("ZK7J_E"));
    }

    @Test
    void wrappersRejectWhatNamesNoVariable() {
        String[] badNames = {null, "", "A=B", "=", "A\0B"};
        for (String name : badNames) {
            assertThrows(IllegalArgumentException.class, () -> NativeTools.setenv(name, "v"), String.valueOf(name));
            assertThrows(IllegalArgumentException.class, () -> NativeTools.unsetenv(name), String.valueOf(name));
        }
        assertThrows(IllegalArgumentException.class, () -> NativeTools.setenv("ZK7J_V", null));
        assertThrows(IllegalArgumentException.class, () -> NativeTools.setenv("ZK7J_V", "a\0b"));
        assertNull(NativeTools.getenv("ZK7J_V"));
        assertFalse(NativeTools.putenv("A\0B=v"));
    }

    /** {@code length} printable ASCII characters that differ from one position to the next. */
    static String ascii(int length) {
        StringBuilder text = new StringBuilder(length);
        for (int i = 0; i < length; i++) {
            text.append((char) (' ' + i % 95));
        }
        return text.toString();
    }

    static String repeat(String piece, int times) {
        StringBuilder text = new StringBuilder();
        for (int i = 0; i < times; i++) {
            text.append(piece);
        }
        return text.toString();
    }
}
