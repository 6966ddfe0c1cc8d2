import java.awt.Graphics;
import javax.swing.JApplet;
import javax.swing.JComponent;

// A Swing applet that paints the test pattern in a component of its own.
public class SwingPatternApplet extends JApplet {
    private static final long serialVersionUID = 1L;

    @Override
    public void init() {
        final int stripe = Pattern.colour(getParameter("Stripe"));
        setContentPane(new JComponent() {
            private static final long serialVersionUID = 1L;

            @Override
            protected void paintComponent(Graphics g) {
                g.drawImage(Pattern.image(getWidth(), getHeight(), stripe), 0, 0, null);
            }
        });
    }
}
