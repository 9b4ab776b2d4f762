package quorvalen.zelka;

import java.util.ArrayList;
import java.util.List;
import java.util.Set;
import java.util.concurrent.CountDownLatch;

/**
 * Run in a child JVM, so the environment starts small: one thread adds names while the main thread
 * starts children, then prints what the children saw and whether every name arrived. With
 * {@code first-use}, the main thread instead makes the JDK's first copy of the environment while
 * the names are added, and prints whether it and a child start afterwards worked.
 */
public final class ChildStartProbe {
    private ChildStartProbe() {
    }

    public static void main(String[] args) throws Exception {
        if (args.length > 0 && args[0].equals("first-use")) {
            firstUseDuringAdditions();
            return;
        }
        int added = ChildStartTest.ADDED;
        Set<String> before = ChildStartTest.environmentBefore();
        List<String> refused = new ArrayList<>();
        Thread adder = new Thread(() -> {
            for (int i = 0; i < added; i++) {
                if (!NativeTools.setenv(ChildStartTest.addedName(i), ChildStartTest.addedValue(i))) {
                    refused.add(ChildStartTest.addedName(i));
                }
            }
        });
        ChildStartTest.Tally tally = new ChildStartTest.Tally();
        adder.start();
        ChildStartTest.startChildrenWhile(adder, tally, before, ChildStartTest::isAdded);
        adder.join();
        int lost = 0;
        for (int i = 0; i < added; i++) {
            lost += ChildStartTest.addedValue(i).equals(NativeTools.getenv(ChildStartTest.addedName(i))) ? 0 : 1;
        }
        for (String fault : tally.faults) {
            System.out.println("fault " + EnvProbe.escape(fault));
        }
        System.out.println("started=" + tally.started + " start_failures=" + tally.startFailures + " wrong="
            + tally.wrongEnvironments + " untouched_missing=" + tally.untouchedMissing + " lost=" + lost
            + " refused=" + refused.size());
    }

    static void firstUseDuringAdditions() throws InterruptedException {
        CountDownLatch adding = new CountDownLatch(1);
        Thread adder = new Thread(() -> {
            for (int i = 0; i < ChildStartTest.ADDED; i++) {
                NativeTools.setenv(ChildStartTest.addedName(i), ChildStartTest.addedValue(i));
                adding.countDown();
            }
        });
        adder.start();
        adding.await();
        String outcome = "ok";
        try {
            System.getenv();
            ChildProcessTest.run(java.util.Arrays.asList("true"));
        } catch (Throwable e) {
            outcome = e.toString();
        }
        adder.join();
        System.out.println("first_use=" + outcome);
    }
}
