// A private OAuth 2.0 authorization server on a loopback address, for the
// tests and the demo: authorization code with PKCE, device authorization,
// refresh tokens rotated at every use, introspection for the mail servers
// (RFC 7662) and revocation. The sign-in page takes any account name.
//
//   node server.js ADDRESS PORT CERT KEY [ACCESS_TOKEN_SECONDS]
//
// Clients: "ringpost" (public, native: loopback redirects on any port) and
// "dovecot" with the secret "dovecot-secret", which may introspect tokens.
import https from 'node:https';
import fs from 'node:fs';
import Provider from 'oidc-provider';

const [address, port, cert, key, accessSeconds] = process.argv.slice(2);
if (!cert || !key) {
  console.error('usage: node server.js ADDRESS PORT CERT KEY [ACCESS_TOKEN_SECONDS]');
  process.exit(2);
}
const issuer = `https://${address}:${port}`;

const provider = new Provider(issuer, {
  clients: [
    {
      client_id: 'ringpost',
      application_type: 'native',
      token_endpoint_auth_method: 'none',
      grant_types: ['authorization_code', 'refresh_token', 'urn:ietf:params:oauth:grant-type:device_code'],
      response_types: ['code'],
      redirect_uris: ['http://127.0.0.1/'],
    },
    {
      client_id: 'dovecot',
      client_secret: 'dovecot-secret',
      grant_types: [],
      response_types: [],
      redirect_uris: [],
    },
  ],
  scopes: ['openid', 'offline_access', 'mail'],
  claims: { openid: ['sub'], email: ['email'] },
  async findAccount(ctx, sub) {
    return { accountId: sub, async claims() { return { sub, email: `${sub}@example.org` }; } };
  },
  features: {
    devInteractions: { enabled: true },
    deviceFlow: { enabled: true },
    introspection: { enabled: true },
    revocation: { enabled: true },
  },
  // Every sign-in of the mail client gets a refresh token, rotated at each use.
  async issueRefreshToken(ctx, client) {
    return client.grantTypeAllowed('refresh_token');
  },
  rotateRefreshToken: true,
  ttl: {
    AccessToken: Number(accessSeconds || 3600),
    DeviceCode: 600,
    Grant: 14 * 24 * 3600,
    Interaction: 3600,
    RefreshToken: 14 * 24 * 3600,
    Session: 14 * 24 * 3600,
  },
  cookies: { keys: ['ringpost-test-cookie-key'] },
  pkce: { required: () => true },
});
// Offline access is granted when asked for, as the large providers do,
// without the consent prompt oidc-provider would otherwise require for it.
provider.use(async (ctx, next) => {
  if (ctx.path === '/auth' && String(ctx.query.scope || '').split(' ').includes('offline_access') && !ctx.query.prompt) {
    ctx.query = { ...ctx.query, prompt: 'consent' };
  }
  await next();
});
// For tests: an access token the provider drops before its time, as large
// providers do when an account's security changes, while the grant and its
// refresh token stay (revoking it at /token/revocation would end the grant).
provider.use(async (ctx, next) => {
  if (ctx.method === 'POST' && ctx.path === '/test/drop-access-token') {
    const body = await new Promise((resolve) => {
      let text = '';
      ctx.req.on('data', (chunk) => { text += chunk; });
      ctx.req.on('end', () => resolve(text));
    });
    const token = await provider.AccessToken.find(new URLSearchParams(body).get('token') || '');
    if (token) await token.destroy();
    ctx.body = { dropped: Boolean(token) };
    return;
  }
  await next();
});
provider.on('server_error', (ctx, err) => console.error('server_error', err));

// Every token request and its outcome, for tests that count them.
provider.on('grant.success', (ctx) => console.log(`grant ${ctx.oidc.params.grant_type} ok`));
provider.on('grant.error', (ctx, err) => console.log(`grant ${ctx.oidc.params?.grant_type} ${err.error}`));

https
  .createServer({ cert: fs.readFileSync(cert), key: fs.readFileSync(key) }, provider.callback())
  .listen(Number(port), address, () => console.log(`listening ${issuer}`));
