package javax.swing;

import java.applet.Applet;
import java.awt.AWTEvent;
import java.awt.BorderLayout;
import java.awt.Color;
import java.awt.Component;
import java.awt.Container;
import java.awt.Graphics;
import java.awt.HeadlessException;
import java.awt.LayoutManager;
import javax.accessibility.Accessible;
import javax.accessibility.AccessibleContext;

/**
 * An applet of Swing components: its content goes into a root pane (content
 * pane, menu bar, layered and glass panes), as in a JFrame.
 */
public class JApplet extends Applet implements Accessible, RootPaneContainer, TransferHandler.HasGetTransferHandler {
    private static final long serialVersionUID = 6325567340285262307L;

    protected JRootPane rootPane;
    protected boolean rootPaneCheckingEnabled = false;
    private transient TransferHandler transferHandler;

    // It sets itself up through its own overridable methods, as JApplet always did.
    @SuppressWarnings("this-escape")
    public JApplet() throws HeadlessException {
        setForeground(Color.black);
        setBackground(Color.white);
        setLocale(JComponent.getDefaultLocale());
        setLayout(new BorderLayout());
        setRootPane(createRootPane());
        setRootPaneCheckingEnabled(true);
        setFocusTraversalPolicyProvider(true);
        setFocusTraversalPolicy(new LayoutFocusTraversalPolicy());
        enableEvents(AWTEvent.KEY_EVENT_MASK);
    }

    protected JRootPane createRootPane() {
        JRootPane root = new JRootPane();
        root.setOpaque(true);
        return root;
    }

    public void setTransferHandler(TransferHandler handler) {
        TransferHandler old = transferHandler;
        transferHandler = handler;
        firePropertyChange("transferHandler", old, handler);
    }

    @Override
    public TransferHandler getTransferHandler() {
        return transferHandler;
    }

    /** Paints without clearing first: the root pane covers the whole applet. */
    @Override
    public void update(Graphics g) {
        paint(g);
    }

    public void setJMenuBar(JMenuBar menuBar) {
        getRootPane().setJMenuBar(menuBar);
    }

    public JMenuBar getJMenuBar() {
        return getRootPane().getJMenuBar();
    }

    protected boolean isRootPaneCheckingEnabled() {
        return rootPaneCheckingEnabled;
    }

    protected void setRootPaneCheckingEnabled(boolean enabled) {
        rootPaneCheckingEnabled = enabled;
    }

    @Override
    protected void addImpl(Component component, Object constraints, int index) {
        if (isRootPaneCheckingEnabled())
            getContentPane().add(component, constraints, index);
        else
            super.addImpl(component, constraints, index);
    }

    @Override
    public void remove(Component component) {
        if (component == rootPane)
            super.remove(component);
        else
            getContentPane().remove(component);
    }

    @Override
    public void setLayout(LayoutManager manager) {
        if (isRootPaneCheckingEnabled())
            getContentPane().setLayout(manager);
        else
            super.setLayout(manager);
    }

    @Override
    public JRootPane getRootPane() {
        return rootPane;
    }

    protected void setRootPane(JRootPane root) {
        if (rootPane != null)
            remove(rootPane);
        rootPane = root;
        if (rootPane != null) {
            boolean checking = isRootPaneCheckingEnabled();
            try {
                setRootPaneCheckingEnabled(false);
                add(rootPane, BorderLayout.CENTER);
            } finally {
                setRootPaneCheckingEnabled(checking);
            }
        }
    }

    @Override
    public Container getContentPane() {
        return getRootPane().getContentPane();
    }

    @Override
    public void setContentPane(Container contentPane) {
        getRootPane().setContentPane(contentPane);
    }

    @Override
    public JLayeredPane getLayeredPane() {
        return getRootPane().getLayeredPane();
    }

    @Override
    public void setLayeredPane(JLayeredPane layeredPane) {
        getRootPane().setLayeredPane(layeredPane);
    }

    @Override
    public Component getGlassPane() {
        return getRootPane().getGlassPane();
    }

    @Override
    public void setGlassPane(Component glassPane) {
        getRootPane().setGlassPane(glassPane);
    }

    @Override
    protected String paramString() {
        return super.paramString() + ",rootPane=" + (rootPane != null ? rootPane.toString() : "")
            + ",rootPaneCheckingEnabled=" + rootPaneCheckingEnabled;
    }

    @Override
    public AccessibleContext getAccessibleContext() {
        if (accessibleContext == null)
            accessibleContext = new AccessibleJApplet();
        return accessibleContext;
    }

    protected class AccessibleJApplet extends AccessibleApplet {
        private static final long serialVersionUID = 1L;

        protected AccessibleJApplet() {}
    }
}
