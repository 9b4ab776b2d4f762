// Test classes that the extension's own tests run through the JUnit Platform launcher, never directly.
package quorvalen.zelka.junit;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.fail;

import java.lang.annotation.ElementType;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.ConcurrentLinkedQueue;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.Assumptions;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.MethodOrderer;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.RepeatedTest;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestInstance;
import org.junit.jupiter.api.TestMethodOrder;
import quorvalen.zelka.NativeTools;

/**
 * Each nested class is one run of the launcher; what its tests saw goes to {@link #SEEN}, keyed
 * "test: NAME", each as the JDK's copy, this library and libc read it. Their names keep the
 * console launcher's scan away from them.
 */
final class Fixtures {
    static final Map<String, String> SEEN = new ConcurrentHashMap<>();
    static final ConcurrentLinkedQueue<String> FAULTS = new ConcurrentLinkedQueue<>();
    static final String UNICODE = "\u041f\u0440\u0438\u0432\u0435\u0442 \uD83D\uDE00 \uD800";

    private Fixtures() {
    }

    /** Records NAME as every reader sees it, one line: the JDK's copy, this library, libc. */
    static void see(String test, String... names) {
        for (String name : names) {
            SEEN.put(test + ": " + name, System.getenv(name) + " | " + NativeTools.getenv(name) + " | " + Readers.libc(name));
        }
    }

    static final class MethodLevel {
        @Test
        @SetEnvironmentVariable(name = "ZK7U_SET", value = UNICODE)
        @SetEnvironmentVariable(name = "ZK7U_PRESET", value = "replaced")
        @ClearEnvironmentVariable(name = "ZK7U_CLEARED")
        void setsAndClears() throws Exception {
            see("method", "ZK7U_SET", "ZK7U_PRESET", "ZK7U_CLEARED");
            SEEN.put("method: child", Readers.child("ZK7U_SET"));
        }
    }

    @SetEnvironmentVariable(name = "ZK7U_CLASS", value = "class")
    @SetEnvironmentVariable(name = "ZK7U_OVER", value = "class")
    static final class ClassLevel {
        @Test
        @SetEnvironmentVariable(name = "ZK7U_OVER", value = "method")
        void overrides() {
            see("overrides", "ZK7U_CLASS", "ZK7U_OVER");
        }

        @Test
        void inherits() {
            see("inherits", "ZK7U_CLASS", "ZK7U_OVER");
        }

        @Nested
        @ClearEnvironmentVariable(name = "ZK7U_CLASS")
        class Inner {
            @Test
            void seesItsOwnAndTheOuterClasses() {
                see("nested", "ZK7U_CLASS", "ZK7U_OVER");
            }
        }
    }

    static final class FailingAndAborted {
        @Test
        @SetEnvironmentVariable(name = "ZK7U_FAILED", value = "left behind?")
        void fails() {
            fail("on purpose");
        }

        @Test
        @ClearEnvironmentVariable(name = "ZK7U_PRESET")
        void aborts() {
            Assumptions.assumeTrue(false, "on purpose");
        }
    }

    /** A team's own annotation, composed of one of this artifact's. */
    @Retention(RetentionPolicy.RUNTIME)
    @Target({ElementType.TYPE, ElementType.METHOD})
    @SetEnvironmentVariable(name = "ZK7U_META", value = "meta")
    @interface MetaSet {
    }

    /** Composed of a composed one: two levels down to this artifact's. */
    @Retention(RetentionPolicy.RUNTIME)
    @Target({ElementType.TYPE, ElementType.METHOD})
    @MetaSet
    @ClearEnvironmentVariable(name = "ZK7U_CLEARED")
    @interface TwoLevels {
    }

    @SetEnvironmentVariable(name = "ZK7U_SET", value = "interface")
    @SetEnvironmentVariable(name = "ZK7U_OVER", value = "interface")
    interface Declares {
    }

    @SetEnvironmentVariable(name = "ZK7U_CLASS", value = "superclass")
    @SetEnvironmentVariable(name = "ZK7U_OVER", value = "superclass")
    static class Base {
    }

    @TwoLevels
    static final class FoundWhereJUnitLooks extends Base implements Declares {
        @Test
        void onTheClass() {
            see("class", "ZK7U_META", "ZK7U_CLEARED", "ZK7U_SET", "ZK7U_CLASS", "ZK7U_OVER");
        }

        @Test
        @MetaSet
        @SetEnvironmentVariable(name = "ZK7U_OVER", value = "method")
        void onTheMethod() {
            see("method", "ZK7U_META", "ZK7U_OVER");
        }
    }

    @SetEnvironmentVariable(name = "ZK7U_OVER", value = "superclass")
    abstract static class DeclaresNested {
        @Nested
        @TestMethodOrder(MethodOrderer.MethodName.class)
        class Inherited {
            @Test
            void first() {
                see("inherited first", "ZK7U_OVER");
                NativeTools.setenv("ZK7U_ADDED", "first");
            }

            @Test
            void second() {
                see("inherited second", "ZK7U_ADDED");
            }
        }
    }

    /** Runs the nested class it inherits: its values over its superclass's there, its restore after each test. */
    @SetEnvironmentVariable(name = "ZK7U_OVER", value = "subclass")
    @RestoreEnvironment
    static final class RunsInheritedNested extends DeclaresNested {
    }

    /**
     * Each test starts from the class's value whatever changed it, and the class's restore puts
     * back after each test, after the nested class and after the class.
     */
    @SetEnvironmentVariable(name = "ZK7U_CLASS", value = "class")
    @RestoreEnvironment
    @TestMethodOrder(MethodOrderer.MethodName.class)
    static final class PutsBackAtEachPoint {
        @BeforeAll
        static void changeBeforeAll() {
            see("beforeAll", "ZK7U_CLASS");
            NativeTools.setenv("ZK7U_CLASS", "beforeAll");
        }

        @Test
        void first() {
            see("first", "ZK7U_CLASS");
            Readers.libcSetenv("ZK7U_CLASS", "leaked");
            NativeTools.setenv("ZK7U_ADDED", "first");
        }

        @Test
        void second() {
            see("second", "ZK7U_CLASS", "ZK7U_ADDED");
        }

        @AfterAll
        static void seeAfterAll() {
            see("afterAll", "ZK7U_CLASS", "ZK7U_NATIVE");
        }

        @Nested
        @TestInstance(TestInstance.Lifecycle.PER_CLASS)
        class Inner {
            @BeforeAll
            void changeBeforeAll() {
                NativeTools.setenv("ZK7U_NATIVE", "inner beforeAll");
            }

            @Test
            void inner() {
                NativeTools.setenv("ZK7U_ADDED", "inner");
            }

            @AfterAll
            void seeAfterAll() {
                see("inner afterAll", "ZK7U_ADDED", "ZK7U_NATIVE");
            }
        }
    }

    /** Run in a JVM that inherited an empty value and bytes that are not UTF-8: named by a test. */
    static final class ChangesInheritedBytes {
        @Test
        @SetEnvironmentVariable(name = "ZK7U_LATIN1", value = "now UTF-8")
        @ClearEnvironmentVariable(name = "ZK7U_EMPTY")
        void setsAndClears() {
        }
    }

    /** The same, named by nothing but a restore. */
    @RestoreEnvironment
    static final class RestoresInheritedBytes {
        @Test
        void changesWhatItLikes() {
            NativeTools.setenv("ZK7U_LATIN1", "now UTF-8");
            NativeTools.unsetenv("ZK7U_EMPTY");
        }
    }

    @RestoreEnvironment
    static final class RestoresEverything {
        @Test
        void changesWhatItLikes() {
            NativeTools.setenv("ZK7U_ADDED", "added");
            NativeTools.setenv("ZK7U_PRESET", "changed");
            Readers.libcSetenv("ZK7U_NATIVE", "by libc");
            NativeTools.unsetenv("ZK7U_CLEARED");
        }
    }

    /** Writers each set the shared variable to their own value; readers must never see one. */
    static final class Parallel {
        static void holds(String value) throws InterruptedException {
            for (int i = 0; i < 20; i++) {
                if (!value.equals(System.getenv("ZK7U_SHARED")) || !value.equals(NativeTools.getenv("ZK7U_SHARED"))) {
                    FAULTS.add("writer " + value + " saw " + System.getenv("ZK7U_SHARED"));
                }
                Thread.sleep(1);
            }
        }

        static void absent() throws InterruptedException {
            for (int i = 0; i < 20; i++) {
                if (System.getenv("ZK7U_SHARED") != null || NativeTools.getenv("ZK7U_SHARED") != null) {
                    FAULTS.add("a reader saw " + System.getenv("ZK7U_SHARED"));
                }
                Thread.sleep(1);
            }
        }

        @RepeatedTest(6)
        @SetEnvironmentVariable(name = "ZK7U_SHARED", value = "a")
        @SetEnvironmentVariable(name = "ZK7U_OWN_A", value = "a")
        void writerA() throws InterruptedException {
            holds("a");
            assertEquals("a", System.getenv("ZK7U_OWN_A"));
        }

        @RepeatedTest(6)
        @SetEnvironmentVariable(name = "ZK7U_SHARED", value = "b")
        @SetEnvironmentVariable(name = "ZK7U_OWN_B", value = "b")
        void writerB() throws InterruptedException {
            holds("b");
            assertEquals("b", System.getenv("ZK7U_OWN_B"));
        }

        @RepeatedTest(6)
        @SetEnvironmentVariable(name = "ZK7U_SHARED", value = "c")
        void writerC() throws InterruptedException {
            holds("c");
        }

        @RepeatedTest(6)
        @WritesEnvironment
        void writerOnItsOwn() throws InterruptedException {
            NativeTools.setenv("ZK7U_SHARED", "d");
            try {
                holds("d");
            } finally {
                NativeTools.unsetenv("ZK7U_SHARED");
            }
        }

        @RepeatedTest(6)
        @ReadsEnvironment
        void readerA() throws InterruptedException {
            absent();
        }

        @RepeatedTest(6)
        @ReadsEnvironment
        void readerB() throws InterruptedException {
            absent();
        }
    }

    // Each refused before it runs, naming the annotation, the name and where.
    static final class EmptyName {
        @Test
        @SetEnvironmentVariable(name = "ZK7U_UNTOUCHED", value = "set?")
        @SetEnvironmentVariable(name = "", value = "x")
        void test() {
            FAULTS.add("an empty name ran");
        }
    }

    static final class NameWithEquals {
        @Test
        @ClearEnvironmentVariable(name = "ZK7U_A=B")
        void test() {
            FAULTS.add("a name with '=' ran");
        }
    }

    static final class NameWithNul {
        @Test
        @SetEnvironmentVariable(name = "ZK7U_\0", value = "x")
        void test() {
            FAULTS.add("a name with U+0000 ran");
        }
    }

    static final class ValueWithNul {
        @Test
        @SetEnvironmentVariable(name = "ZK7U_UNTOUCHED", value = "a\0b")
        void test() {
            FAULTS.add("a value with U+0000 ran");
        }
    }

    static final class SetTwice {
        @Test
        @SetEnvironmentVariable(name = "ZK7U_TWICE", value = "1")
        @SetEnvironmentVariable(name = "ZK7U_TWICE", value = "2")
        void test() {
            FAULTS.add("a name set twice ran");
        }
    }

    @SetEnvironmentVariable(name = "ZK7U_TWICE", value = "1")
    @ClearEnvironmentVariable(name = "ZK7U_TWICE")
    static final class SetAndClearedOnAClass {
        @Test
        void test() {
            FAULTS.add("a class with a name set and cleared ran");
        }
    }
}
