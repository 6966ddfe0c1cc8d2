import java.applet.Applet;
import java.awt.Color;
import java.awt.Graphics;
import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.InputStream;
import java.net.ServerSocket;
import java.net.Socket;
import java.net.URL;
import java.net.URLClassLoader;

// An applet that tries everything an applet may not do and tells its server
// what came of each (GET /report?ACTION=RESULT), then paints green.
public class HostileApplet extends Applet {
    private static final long serialVersionUID = 1L;
    private volatile boolean done;

    private interface Action {
        void run() throws Exception;
    }

    private void attempt(String name, Action action) {
        String result;
        try {
            action.run();
            result = "allowed";
        } catch (SecurityException e) {
            result = "refused";
        } catch (Throwable e) {
            result = "failed-" + e.getClass().getSimpleName();
        }
        report(name + "=" + result);
    }

    private void report(String query) {
        try (InputStream in = new URL(getCodeBase(), "report?" + query).openStream()) {
            while (in.read() >= 0) {
                // the answer is not needed
            }
        } catch (Exception e) {
            // the server is gone; nothing to tell
        }
    }

    @Override
    public void start() {
        final String host = getCodeBase().getHost();
        final int port = getCodeBase().getPort();
        attempt("readFile", () -> new FileInputStream("/etc/hostname").close());
        attempt("writeFile", () -> new FileOutputStream("/tmp/ostrel-hostile-applet").close());
        attempt("listFolder", () -> new File("/").list());
        attempt("runProgram", () -> Runtime.getRuntime().exec(new String[] {"true"}));
        attempt("exit", () -> System.exit(3));
        attempt("environment", () -> System.getenv("HOME"));
        attempt("nativeCode", () -> System.loadLibrary("z"));
        attempt("classLoader", () -> new URLClassLoader(new URL[0]).close());
        attempt("securityManager", () -> System.setSecurityManager(null));
        attempt("reflection", () -> Class.forName("AppletHost").getDeclaredField("applet").setAccessible(true));
        attempt("clipboard", () -> java.awt.Toolkit.getDefaultToolkit().getSystemClipboard());
        attempt("robot", () -> new java.awt.Robot());
        attempt("printJob", () -> java.awt.print.PrinterJob.getPrinterJob().print());
        attempt("otherPort", () -> new Socket(host, port + 1).close());
        attempt("otherHost", () -> new Socket("127.0.0.2", port).close());
        attempt("listen", () -> new ServerSocket(0).close());
        attempt("userHome", () -> System.getProperty("user.home"));
        attempt("javaVersion", () -> System.getProperty("java.version"));
        attempt("thread", () -> new Thread(() -> {}).start());
        report("done=yes");
        done = true;
        repaint();
    }

    @Override
    public void paint(Graphics g) {
        g.setColor(done ? Color.green : Color.gray);
        g.fillRect(0, 0, getWidth(), getHeight());
    }
}
