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
// what came of each (GET /report?ACTION=RESULT), then paints green. Among
// them: files redirected to another server (whose port is the parameter
// "other"); and what it may do: a same-server redirect, and a download and
// an upload of a few megabytes that must arrive whole.
public class HostileApplet extends Applet {
    private static final long serialVersionUID = 1L;
    private volatile boolean done;

    private interface Action {
        void run() throws Exception;
    }

    private interface Fetch {
        Object get() throws Exception;
    }

    // Refused when nothing came (null) or it failed in any way.
    private void attemptToGet(String name, Fetch fetch) {
        String result;
        try {
            result = fetch.get() != null ? "allowed" : "refused";
        } catch (Throwable e) {
            result = "refused";
        }
        report(name + "=" + result);
    }

    private static long crc(byte[] bytes, int length) {
        java.util.zip.CRC32 crc = new java.util.zip.CRC32();
        crc.update(bytes, 0, length);
        return crc.getValue();
    }

    private static byte[] readAll(InputStream in) throws Exception {
        java.io.ByteArrayOutputStream out = new java.io.ByteArrayOutputStream();
        byte[] buffer = new byte[8192];
        for (int n = in.read(buffer); n >= 0; n = in.read(buffer))
            out.write(buffer, 0, n);
        return out.toByteArray();
    }

    private String transfers(String what) throws Exception {
        if (what.equals("download")) {
            byte[] got;
            try (InputStream in = new URL(getCodeBase(), "big.bin").openStream()) {
                got = readAll(in);
            }
            String expected = getParameter("big");
            return (got.length + " " + crc(got, got.length)).equals(expected) ? "allowed" : "short-" + got.length;
        }
        byte[] sent = new byte[2_500_000];
        for (int i = 0; i < sent.length; ++i)
            sent[i] = (byte) (i % 251);
        java.net.HttpURLConnection http = (java.net.HttpURLConnection) new URL(getCodeBase(), "upload").openConnection();
        http.setDoOutput(true);
        http.setFixedLengthStreamingMode(sent.length);
        try (java.io.OutputStream out = http.getOutputStream()) {
            out.write(sent);
        }
        String answer;
        try (InputStream in = http.getInputStream()) {
            answer = new String(readAll(in), "US-ASCII");
        }
        return answer.equals(sent.length + " " + crc(sent, sent.length)) ? "allowed" : "short-" + answer;
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
        attempt("environment", () -> System.getenv("HOME"));
        attempt("nativeCode", () -> System.loadLibrary("z"));
        attempt("classLoader", () -> new URLClassLoader(new URL[0]).close());
        attempt("securityManager", () -> System.setSecurityManager(null));
        attempt("reflection", () -> Class.forName("ostrel.applethost.AppletHost").getDeclaredField("applet").setAccessible(true));
        attempt("clipboard", () -> java.awt.Toolkit.getDefaultToolkit().getSystemClipboard());
        attempt("robot", () -> new java.awt.Robot());
        attempt("printJob", () -> java.awt.print.PrinterJob.getPrinterJob().print());
        attempt("otherPort", () -> new Socket(host, port + 1).close());
        attempt("otherHost", () -> new Socket("127.0.0.2", port).close());
        attempt("listen", () -> new ServerSocket(0).close());
        attempt("userHome", () -> System.getProperty("user.home"));
        attempt("javaVersion", () -> System.getProperty("java.version"));
        attemptToGet("redirectedResource", () -> HostileApplet.class.getResourceAsStream("elsewhere.txt"));
        attemptToGet("redirectedClass", () -> Class.forName("Elsewhere", true, HostileApplet.class.getClassLoader()));
        attemptToGet("redirectedImage", () -> {
            java.awt.Image image = getImage(new URL(getCodeBase(), "elsewhere.png"));
            java.awt.MediaTracker tracker = new java.awt.MediaTracker(this);
            tracker.addImage(image, 0);
            tracker.waitForAll(5000);
            return tracker.isErrorAny() || !tracker.checkAll() ? null : image;
        });
        attemptToGet("followedRedirect", () -> {
            java.net.HttpURLConnection http =
                (java.net.HttpURLConnection) new URL(getCodeBase(), "elsewhere.txt").openConnection();
            http.setInstanceFollowRedirects(true);
            try (InputStream in = http.getInputStream()) {
                return http.getResponseCode() == 200 ? readAll(in) : null;
            }
        });
        attemptToGet("sameServerRedirect", () -> HostileApplet.class.getResourceAsStream("moved.txt"));
        report("download=" + safely("download"));
        report("upload=" + safely("upload"));
        attempt("thread", () -> new Thread(() -> {}).start());
        // A window of its own, and pages shown in the user's browser.
        attempt("topLevelWindow", () -> {
            java.awt.Frame frame = new java.awt.Frame("ostrel-escaped-window");
            frame.setBounds(0, 0, 300, 200);
            frame.setVisible(true);
        });
        attempt("showDocument", () -> {
            getAppletContext().showDocument(new URL("file:/etc/passwd"));
            getAppletContext().showDocument(new URL(getCodeBase(), "shown.html"), "_blank");
            getAppletContext().showDocument(new URL(getCodeBase(), "shown.html"), "_top");
        });
        // Addresses beyond the code base, read directly: files, archives in
        // files, other schemes, another port; and an image from another port.
        final String[][] beyond = {{"urlFile", "file:/etc/os-release"},
                                   {"urlJarFile", "jar:file:/etc/os-release!/x"},
                                   {"urlNetdoc", "netdoc:/etc/os-release"},
                                   {"urlFtp", "ftp://" + host + ":" + port + "/x"},
                                   {"urlOtherPort", "http://" + host + ":" + (port + 1) + "/x"}};
        for (final String[] entry : beyond) {
            attemptToGet(entry[0], () -> {
                java.net.URLConnection connection = new URL(entry[1]).openConnection();
                connection.setConnectTimeout(3000);
                connection.setReadTimeout(3000); // an FTP client waits for a greeting a web server never sends
                try (InputStream in = connection.getInputStream()) {
                    return readAll(in);
                }
            });
        }
        attemptToGet("imageOtherPort", () -> {
            java.awt.Image image = getImage(new URL("http://" + host + ":" + (port + 1) + "/x.png"));
            java.awt.MediaTracker tracker = new java.awt.MediaTracker(this);
            tracker.addImage(image, 0);
            tracker.waitForAll(5000);
            return tracker.isErrorAny() || !tracker.checkAll() ? null : image;
        });
        // A megabyte of markup as the status: the box shows a short plain line.
        StringBuilder status = new StringBuilder("<b>bold</b><img src='file:/etc/passwd'>");
        while (status.length() < 1_000_000)
            status.append("<i>x</i>");
        showStatus(status.toString());
        // What it learns of who runs it and where.
        String[] keys = {"user.name", "user.home", "user.dir", "java.class.path", "java.home", "java.io.tmpdir"};
        StringBuilder seen = new StringBuilder();
        for (String key : keys) {
            String value;
            try {
                value = System.getProperty(key);
            } catch (SecurityException e) {
                value = "refused";
            }
            seen.append(seen.length() > 0 ? "|" : "").append(key).append(':').append(value);
        }
        try {
            report("properties=" + java.net.URLEncoder.encode(seen.toString(), "UTF-8"));
        } catch (java.io.UnsupportedEncodingException e) {
            report("properties=unencodable");
        }
        report("done=yes");
        // Last, as where nothing forbids it this ends the applet's Java.
        attempt("exit", () -> System.exit(3));
        done = true;
        repaint();
    }

    private String safely(String what) {
        try {
            return transfers(what);
        } catch (Throwable e) {
            return "failed-" + e;
        }
    }

    @Override
    public void paint(Graphics g) {
        g.setColor(done ? Color.green : Color.gray);
        g.fillRect(0, 0, getWidth(), getHeight());
    }
}
