// The demo camera's streaming applet: it connects to the camera named by the
// page's Host and Port parameters, reads its MJPEG stream (/stream.mjpg) and
// paints each frame at the applet's size. While it connects, and after a
// failure, it shows what is happening in its box, and it reconnects by itself.
// Written for Java 8 (javac --release 8), like the applets cameras still carry.

import java.applet.Applet;
import java.awt.Color;
import java.awt.Dimension;
import java.awt.Font;
import java.awt.FontMetrics;
import java.awt.Graphics;
import java.awt.Image;
import java.awt.image.BufferedImage;
import java.io.BufferedInputStream;
import java.io.ByteArrayInputStream;
import java.io.EOFException;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetSocketAddress;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import java.util.Locale;
import javax.imageio.ImageIO;

public class BrimcastApplet extends Applet implements Runnable {
    private static final long serialVersionUID = 1L;
    private static final int CONNECT_TIMEOUT_MS = 5000;
    private static final int READ_TIMEOUT_MS = 10000;
    private static final int RETRY_DELAY_MS = 2000;
    private static final int MAX_HEADER_LINE = 8192;
    private static final int MAX_FRAME_BYTES = 16 * 1024 * 1024;

    // The applet's state while it runs; none of it is ever serialised.
    private transient String host;
    private transient int port;
    private transient volatile boolean running;
    private transient volatile Thread worker;
    private transient volatile Socket socket;
    private transient volatile BufferedImage frame;
    private transient volatile String status = "";
    private transient volatile long framesShown;
    private transient Image buffer; // the off-screen picture painted whole each time

    @Override
    public void init() {
        host = getParameter("Host");
        if (host == null || host.isEmpty())
            host = getCodeBase() != null ? getCodeBase().getHost() : "127.0.0.1";
        port = 8081;
        try {
            String text = getParameter("Port");
            if (text != null && !text.isEmpty())
                port = Integer.parseInt(text.trim());
        } catch (NumberFormatException e) {
            port = -1;
        }
        setBackground(Color.black);
    }

    @Override
    public synchronized void start() {
        if (worker != null)
            return;
        running = true;
        worker = new Thread(this, "BrimcastApplet-stream");
        worker.setDaemon(true);
        worker.start();
    }

    @Override
    public void stop() {
        Thread thread;
        synchronized (this) {
            running = false;
            thread = worker;
            worker = null;
        }
        closeSocket();
        if (thread != null) {
            thread.interrupt();
            try {
                thread.join(2000);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        }
    }

    @Override
    public void destroy() {
        stop();
        frame = null;
    }

    // What the box shows instead of a picture (empty while frames come).
    public String getStatusText() {
        return status;
    }

    public long getFramesShown() {
        return framesShown;
    }

    @Override
    public void run() {
        String where = host + ":" + port;
        while (running) {
            setStatusText("Connecting to " + where + "\u2026");
            try {
                if (port < 1 || port > 65535)
                    throw new IOException("the port is not a number from 1 to 65535");
                stream();
                if (running)
                    setStatusText("The camera at " + where + " ended the stream \u2014 retrying");
            } catch (IOException e) {
                if (!running)
                    break;
                setStatusText("Cannot reach " + where + ": " + describe(e) + " \u2014 retrying");
            } finally {
                closeSocket();
            }
            try {
                Thread.sleep(RETRY_DELAY_MS);
            } catch (InterruptedException e) {
                break;
            }
        }
    }

    private void stream() throws IOException {
        Socket s = new Socket();
        socket = s;
        if (!running)
            throw new IOException("stopped");
        s.connect(new InetSocketAddress(host, port), CONNECT_TIMEOUT_MS);
        s.setSoTimeout(READ_TIMEOUT_MS);
        OutputStream out = s.getOutputStream();
        String request = "GET /stream.mjpg HTTP/1.1\r\nHost: " + host + ":" + port
            + "\r\nUser-Agent: BrimcastApplet\r\nConnection: close\r\n\r\n";
        out.write(request.getBytes(StandardCharsets.ISO_8859_1));
        out.flush();
        InputStream in = new BufferedInputStream(s.getInputStream(), 65536);

        String statusLine = readLine(in);
        if (!statusLine.startsWith("HTTP/1.") || statusLine.length() < 12)
            throw new IOException("not an HTTP answer");
        if (!statusLine.substring(9, 12).equals("200"))
            throw new IOException("the camera answered " + statusLine.substring(9).trim());
        String boundary = null;
        for (String line = readLine(in); !line.isEmpty(); line = readLine(in)) {
            String lower = line.toLowerCase(Locale.ROOT);
            if (lower.startsWith("content-type:") && lower.contains("multipart/x-mixed-replace")) {
                int at = lower.indexOf("boundary=");
                if (at >= 0)
                    boundary = line.substring(at + 9).trim().replace("\"", "");
            }
        }
        if (boundary == null)
            throw new IOException("not an MJPEG stream");
        if (boundary.startsWith("--"))
            boundary = boundary.substring(2);

        while (running) {
            // Up to the part's boundary line, then its headers.
            String line = readLine(in);
            while (line.isEmpty())
                line = readLine(in);
            if (!line.startsWith("--" + boundary))
                throw new IOException("the stream lost its framing");
            if (line.startsWith("--" + boundary + "--"))
                return; // the camera's last part
            int length = -1;
            for (line = readLine(in); !line.isEmpty(); line = readLine(in)) {
                String lower = line.toLowerCase(Locale.ROOT);
                if (lower.startsWith("content-length:"))
                    length = parseLength(line.substring(15).trim());
            }
            if (length < 0)
                throw new IOException("a frame without Content-Length");
            byte[] jpeg = new byte[length];
            readFully(in, jpeg);
            BufferedImage picture = ImageIO.read(new ByteArrayInputStream(jpeg));
            if (picture != null) {
                frame = picture;
                status = "";
                framesShown++;
                repaint();
            }
        }
    }

    private static int parseLength(String text) throws IOException {
        try {
            int length = Integer.parseInt(text);
            if (length < 0 || length > MAX_FRAME_BYTES)
                throw new IOException("a frame of " + text + " bytes");
            return length;
        } catch (NumberFormatException e) {
            throw new IOException("a frame length that is not a number");
        }
    }

    // One line of ISO-8859-1 text without its CR LF.
    private static String readLine(InputStream in) throws IOException {
        StringBuilder line = new StringBuilder();
        for (;;) {
            int c = in.read();
            if (c < 0)
                throw new EOFException("the camera closed the connection");
            if (c == '\n')
                break;
            if (c != '\r')
                line.append((char) c);
            if (line.length() > MAX_HEADER_LINE)
                throw new IOException("a header line too long");
        }
        return line.toString();
    }

    private static void readFully(InputStream in, byte[] into) throws IOException {
        int done = 0;
        while (done < into.length) {
            int n = in.read(into, done, into.length - done);
            if (n < 0)
                throw new EOFException("the camera closed the connection");
            done += n;
        }
    }

    private static String describe(IOException e) {
        String message = e.getMessage();
        if (e instanceof java.net.ConnectException)
            return "connection refused";
        if (e instanceof java.net.SocketTimeoutException)
            return "no answer in time";
        if (e instanceof java.net.UnknownHostException)
            return "unknown host";
        return message != null ? message : e.getClass().getSimpleName();
    }

    private void setStatusText(String text) {
        status = text;
        frame = null;
        repaint();
    }

    private void closeSocket() {
        Socket s = socket;
        socket = null;
        if (s != null) {
            try {
                s.close();
            } catch (IOException e) {
                // closing anyway
            }
        }
    }

    @Override
    public void update(Graphics g) {
        paint(g); // no clearing first: the whole box is painted each time
    }

    @Override
    public void paint(Graphics g) {
        Dimension size = getSize();
        if (size.width <= 0 || size.height <= 0)
            return;
        if (buffer == null || buffer.getWidth(null) != size.width || buffer.getHeight(null) != size.height)
            buffer = createImage(size.width, size.height);
        if (buffer == null) {
            draw(g, size);
            return;
        }
        Graphics b = buffer.getGraphics();
        try {
            draw(b, size);
        } finally {
            b.dispose();
        }
        g.drawImage(buffer, 0, 0, null);
    }

    private void draw(Graphics g, Dimension size) {
        BufferedImage picture = frame;
        if (picture != null) {
            g.drawImage(picture, 0, 0, size.width, size.height, null);
            return;
        }
        g.setColor(Color.black);
        g.fillRect(0, 0, size.width, size.height);
        String text = status;
        if (text.isEmpty())
            return;
        g.setColor(new Color(0xc0, 0xc0, 0xc0));
        g.setFont(new Font(Font.SANS_SERIF, Font.PLAIN, Math.max(9, Math.min(14, size.height / 12))));
        FontMetrics metrics = g.getFontMetrics();
        // Word-wrapped, centred lines.
        java.util.List<String> lines = new java.util.ArrayList<>();
        StringBuilder current = new StringBuilder();
        for (String word : text.split(" ")) {
            String candidate = current.length() == 0 ? word : current + " " + word;
            if (metrics.stringWidth(candidate) > size.width - 8 && current.length() > 0) {
                lines.add(current.toString());
                current = new StringBuilder(word);
            } else {
                current = new StringBuilder(candidate);
            }
        }
        lines.add(current.toString());
        int lineHeight = metrics.getHeight();
        int y = (size.height - lineHeight * lines.size()) / 2 + metrics.getAscent();
        for (String line : lines) {
            g.drawString(line, (size.width - metrics.stringWidth(line)) / 2, y);
            y += lineHeight;
        }
    }
}
