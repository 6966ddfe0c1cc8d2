import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.InputStream;
import java.net.InetSocketAddress;
import java.net.ServerSocket;
import java.net.Socket;

// What code inside the applet host's OS sandbox can reach with no security
// manager at all: each try prints "NAME=RESULT", RESULT starting with
// "refused" or "allowed".
//   java SandboxProbe SECRET_FILE SECRET_FOLDER PORT OUTER_PID JAVA_HOME
public class SandboxProbe {
    public static void main(String[] args) {
        String secret = args[0];
        String folder = args[1];
        int port = Integer.parseInt(args[2]);
        String outerPid = args[3];
        String javaHome = args[4];
        report("read-secret", () -> read(secret));
        report("read-passwd", () -> read("/etc/passwd"));
        report("list-secret-folder", () -> list(folder));
        report("list-root-home", () -> list("/root"));
        report("list-home", () -> list("/home"));
        report("write-usr", () -> write("/usr/ostrel-probe"));
        report("write-host-folder", () -> write("/ostrel/host/ostrel-probe"));
        report("connect-loopback-port", () -> connect("127.0.0.1", port));
        report("connect-outside", () -> connect("192.0.2.1", 80));
        report("program-reads-secret", () -> run("cat " + secret));
        report("program-signals-ostrel", () -> run("kill -0 " + outerPid));
        report("read-ostrel-environment", () -> read("/proc/" + outerPid + "/environ"));
        // What root could do in its own namespaces, had it kept its capabilities
        // (beyond listening on a low port of its own loopback, bit 10).
        report("capabilities", () -> {
            for (String line : new String(java.nio.file.Files.readAllBytes(java.nio.file.Paths.get("/proc/self/status")),
                     "UTF-8").split("\n"))
                if (line.startsWith("CapEff:") && (Long.parseLong(line.substring(7).trim(), 16) & ~0x400L) != 0)
                    return line;
            throw new Exception("none");
        });
        report("remount-usr", () -> run("mount -o remount,bind,rw /usr && echo x > /usr/ostrel-probe"));
        report("mknod", () -> run("mknod /tmp/ostrel-probe-node c 1 3"));
        report("write-java-home", () -> write(javaHome + "/ostrel-probe"));
        report("write-etc-fonts", () -> write("/etc/fonts/ostrel-probe"));
        report("write-ld-cache", () -> append("/etc/ld.so.cache"));
        // Controls: what the fence allows, so a refusal above is the fence's.
        report("write-private-tmp", () -> write("/tmp/ostrel-probe"));
        report("program-runs", () -> run("echo ran"));
        report("environment-secret", () -> {
            String value = System.getenv("OSTREL_PROBE_SECRET");
            if (value == null)
                throw new Exception("not set");
            return value;
        });
    }

    interface Try {
        String run() throws Exception;
    }

    static void report(String name, Try attempt) {
        String result;
        try {
            result = "allowed " + attempt.run();
        } catch (Throwable e) {
            result = "refused " + e.getClass().getSimpleName();
        }
        System.out.println(name + "=" + result.replace('\n', ' '));
    }

    static String read(String path) throws Exception {
        try (InputStream in = new FileInputStream(path)) {
            return "read " + in.read();
        }
    }

    static String list(String path) throws Exception {
        String[] names = new File(path).list();
        if (names == null)
            throw new java.io.FileNotFoundException(path);
        return names.length + " names";
    }

    static String write(String path) throws Exception {
        try (FileOutputStream out = new FileOutputStream(path)) {
            out.write('x');
        }
        return "written";
    }

    static String append(String path) throws Exception {
        try (FileOutputStream out = new FileOutputStream(path, true)) {
            out.write('x');
        }
        return "written";
    }

    static String connect(String host, int port) throws Exception {
        try (Socket socket = new Socket()) {
            socket.connect(new InetSocketAddress(host, port), 2000);
            return "connected";
        }
    }

    static String run(String command) throws Exception {
        Process p = new ProcessBuilder("/bin/sh", "-c", command).redirectErrorStream(true).start();
        byte[] out = new byte[256];
        int n = p.getInputStream().read(out);
        int status = p.waitFor();
        if (status != 0)
            throw new Exception("exit " + status);
        return new String(out, 0, Math.max(n, 0), "UTF-8");
    }
}
